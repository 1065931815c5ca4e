#pragma once

#include "printing/composed_job.h"
#include "printing/job_kind.h"
#include "printing/label_settings.h"

#include <QByteArray>
#include <QString>

// 1M gives the 1M job; 2M the 2M job when fiveAcross is 0 and the five-across job otherwise; every other
// size, no size included, the stored form (the five-across box is then not looked at).
JobKind jobKindFor(const LabelSettings& settings);

// Composes the job for the settings: the job, every line ended by CR LF and every byte ASCII, or a
// cause "<box heading>: <what is wrong>" when there is none. Changes nothing; the same settings always give the same
// result.
//
// Texts go in as the job kind wants them: darkness as typed, gap, quantity and the four field texts with
// their U+0020 blanks trimmed. Inside the double quotes of a text line a double quote is sent as \" and a
// backslash as \\. The composition fails, naming the box, when a text the chosen job uses holds a line break,
// a character outside ASCII or a control character (tab included); when the quantity is not a whole number
// from 1 to 65535; when the 1M job's Item Y position is not
// a 16-bit number or either Y position passes 32767 once 10 is added; and when a panel offset the
// five-across job reads is not a finite number. Texts the chosen job does not use are not looked at.
ComposedJob composeJob(const LabelSettings& settings);
