// Lines and boxes: LO, LW, LE, LS and X.
#include "render/epl2_syntax.h"

namespace epl2 {

// LO, LW, LE: X, Y, dots across, dots along. LS and X: X, Y, thickness, end X, end Y.
Epl2Command shapeCommand(Epl2Command::Kind kind, QByteArrayView rest, const char* name)
{
    const int count = kind == Epl2Command::LineDiagonal || kind == Epl2Command::Box ? 5 : 4;
    const QList<QByteArrayView> p = splitParameters(rest, count + 1);
    if (p.size() != count)
        return notUnderstood(
            count == 4
                ? QStringLiteral("%1 takes X, Y, the dots across and the dots along").arg(QLatin1String(name))
                : QStringLiteral("%1 takes X, Y, the thickness, the end X and the end Y").arg(QLatin1String(name)));
    Epl2Command result;
    result.kind = kind;
    for (int i = 0; i < count; ++i) {
        const bool size = count == 4 ? i >= 2 : i == 2;
        const int lowest = size ? 1 : -kMaxPosition;
        const int highest = size ? kMaxLabelDots : kMaxPosition;
        const std::optional<int> value = wholeNumber(p[i], lowest, highest);
        if (!value)
            return notUnderstood(QStringLiteral("the values of %1 are whole numbers; sizes 1 to %2")
                                     .arg(QLatin1String(name))
                                     .arg(kMaxLabelDots));
        result.numbers[i] = *value;
    }
    return result;
}

} // namespace epl2
