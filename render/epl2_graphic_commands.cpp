// Graphics: GW with its binary data, GM, GG, GK and GI.
#include "render/epl2_syntax.h"

#include "common/safe_text.h"

#include <array>

namespace epl2 {

// "x,y,across,along," after GW, up to and with its fourth comma.
std::optional<std::array<int, 4>> graphicHeader(QByteArrayView header)
{
    if (!header.endsWith(','))
        return std::nullopt;
    const QList<QByteArrayView> p = splitParameters(header.chopped(1), 5);
    if (p.size() != 4)
        return std::nullopt;
    const std::optional<int> x = wholeNumber(p[0], -kMaxPosition, kMaxPosition);
    const std::optional<int> y = wholeNumber(p[1], -kMaxPosition, kMaxPosition);
    const std::optional<int> across = wholeNumber(p[2], 1, kMaxLabelDots / 8);
    const std::optional<int> along = wholeNumber(p[3], 1, kMaxLabelDots);
    if (!x || !y || !across || !along)
        return std::nullopt;
    return std::array<int, 4>{*x, *y, *across, *along};
}

Epl2Command graphicWrite(QByteArrayView line)
{
    qsizetype comma = 0;
    for (int i = 0; i < 4 && comma >= 0; ++i)
        comma = line.indexOf(',', comma + (i > 0 ? 1 : 0));
    const std::optional<std::array<int, 4>> header = comma > 0 ? graphicHeader(line.first(comma + 1)) : std::nullopt;
    if (!header)
        return notUnderstood(QStringLiteral("GW takes X, Y, the bytes across (1 to %1), the dots along (1 to %2) "
                                            "and the data")
                                 .arg(kMaxLabelDots / 8)
                                 .arg(kMaxLabelDots));
    const QByteArrayView data = line.sliced(comma + 1);
    const qsizetype wanted = qsizetype((*header)[2]) * (*header)[3];
    if (data.size() != wanted)
        return notUnderstood(
            QStringLiteral("GW has %1 of data where its sizes take %2").arg(counted(data.size(), "byte")).arg(wanted));
    Epl2Command result;
    result.kind = Epl2Command::GraphicWrite;
    for (int i = 0; i < 4; ++i)
        result.numbers[i] = (*header)[i];
    result.data = data.toByteArray();
    return result;
}

// GM"name"bytes
Epl2Command graphicStore(QByteArrayView rest)
{
    const qsizetype close = rest.size() > 1 ? rest.indexOf('"', 1) : -1;
    if (close < 0)
        return notUnderstood(QStringLiteral("GM takes a quoted name and the bytes of the PCX file"));
    Epl2Command result = formName(Epl2Command::GraphicStore, rest.first(close + 1));
    if (!result.error.isEmpty())
        return notUnderstood(QStringLiteral("GM: ") + result.error);
    const std::optional<int> size = wholeNumber(rest.sliced(close + 1), 1, int(kMaxGraphicBytes));
    if (!size)
        return notUnderstood(QStringLiteral("the size of GM is 1 to %1 bytes").arg(kMaxGraphicBytes));
    result.value = *size;
    return result;
}

Epl2Command graphicRecall(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 3);
    const std::optional<int> x = p.size() == 3 ? wholeNumber(p[0], -kMaxPosition, kMaxPosition) : std::nullopt;
    const std::optional<int> y = p.size() == 3 ? wholeNumber(p[1], -kMaxPosition, kMaxPosition) : std::nullopt;
    if (!x || !y)
        return notUnderstood(QStringLiteral("GG takes X, Y and a quoted graphic name"));
    Epl2Command result = formName(Epl2Command::GraphicRecall, p[2]);
    if (!result.error.isEmpty())
        return notUnderstood(QStringLiteral("GG: ") + result.error);
    result.numbers[0] = *x;
    result.numbers[1] = *y;
    return result;
}

} // namespace epl2

std::optional<qsizetype> graphicDataSize(QByteArrayView header)
{
    const std::optional<std::array<int, 4>> parsed =
        header.startsWith("GW") ? epl2::graphicHeader(header.sliced(2)) : std::nullopt;
    if (!parsed)
        return std::nullopt;
    return qsizetype((*parsed)[2]) * (*parsed)[3];
}
