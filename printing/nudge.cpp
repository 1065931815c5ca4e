#include "printing/nudge.h"

#include <QLocale>

#include <cmath>

NudgeBounds nudgeBounds(LabelField field, Axis axis)
{
    if (axis == Axis::X)
        return {-8, 8};
    if (field == LabelField::Item || field == LabelField::Version)
        return {-16, 30};
    return {-16, 16};
}

std::optional<QString> stepDecimalText(const QString& text, int step)
{
    bool ok = false;
    const double value = trimBlanks(text).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double result = value + step;
    if (result == std::trunc(result) && std::fabs(result) < 9007199254740992.0)
        return plainDecimal(qint64(result));
    return QString::number(result, 'g', QLocale::FloatingPointShortest);
}

namespace {

qint16* integerPosition(LabelPositions& positions, LabelField field, Axis axis)
{
    switch (field) {
    case LabelField::Item:
        return axis == Axis::X ? &positions.ItemX : nullptr;
    case LabelField::Version:
        return axis == Axis::X ? &positions.VerX : &positions.VerY;
    case LabelField::Data:
        return axis == Axis::X ? &positions.DataX : &positions.DataY;
    case LabelField::Checksum:
        return axis == Axis::X ? &positions.ChksumX : &positions.ChksumY;
    }
    return nullptr;
}

} // namespace

std::optional<NudgeResult> nudge(LabelField field, Axis axis, int step, const QString& caption,
                                 const LabelPositions& positions)
{
    const std::optional<qint16> offset = textToInt16(caption);
    if (!offset)
        return std::nullopt;
    const NudgeBounds bounds = nudgeBounds(field, axis);
    if (step < 0 ? !(*offset > bounds.lowest) : !(*offset < bounds.highest))
        return std::nullopt;

    NudgeResult result{plainDecimal(*offset + step), positions};
    if (qint16* position = integerPosition(result.positions, field, axis)) {
        const std::optional<qint16> moved = checkedAdd16(*position, step);
        if (!moved)
            return std::nullopt;
        *position = *moved;
    } else {
        const std::optional<QString> moved = stepDecimalText(positions.ItemY, step);
        if (!moved)
            return std::nullopt;
        result.positions.ItemY = *moved;
    }
    return result;
}
