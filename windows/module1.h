#pragma once

#include "printing/label_settings.h"

#include <QString>

// The nine process-wide values: one set for the whole process, written by the size presets and the nudge
// buttons, read when a job is composed. At process start the integers are 0 and ItemY is empty.
namespace Module1 {
inline qint16 ItemX = 0;
inline QString ItemY;
inline qint16 VerX = 0;
inline qint16 VerY = 0;
inline qint16 DataX = 0;
inline qint16 DataY = 0;
inline qint16 ChksumX = 0;
inline qint16 ChksumY = 0;
inline qint16 LabelLength = 0;

LabelPositions currentPositions();
void setPositions(const LabelPositions& positions);
} // namespace Module1
