#pragma once

#include "printing/label_field.h"
#include "printing/label_settings.h"

#include <QString>

#include <optional>

enum class Axis { X, Y };

struct NudgeBounds
{
    qint16 lowest;
    qint16 highest;
};

// The offsets a field may be nudged to along an axis, the same for every label size.
NudgeBounds nudgeBounds(LabelField field, Axis axis);

// One click of a minus (step -1) or plus (step +1) button: the new panel caption and positions, or nothing
// when the click must not change anything (offset at its bound, or a step that would leave the 16-bit range).
struct NudgeResult
{
    QString caption;
    LabelPositions positions;
};
std::optional<NudgeResult> nudge(LabelField field, Axis axis, int step, const QString& caption,
                                 const LabelPositions& positions);

// ItemY is held as text: read as a number, stepped, written back in plain decimal ("0" - 1 gives "-1").
std::optional<QString> stepDecimalText(const QString& text, int step);
