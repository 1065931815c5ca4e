// One-dimensional bar codes: B.
#include "render/epl2_syntax.h"
#include "render/message_words.h"

namespace epl2 {

// Bar code selections drawn (every one of the manual).
constexpr const char* kDrawnSymbologies[] = {"3",   "3C",  "9",   "1",   "1A",  "1B",  "1C",  "1E",  "E30", "E32",
                                             "E35", "E80", "E82", "E85", "UA0", "UA2", "UA5", "UE0", "UE2", "UE5",
                                             "2",   "2C",  "K",   "0",   "1D",  "2D",  "2U",  "R14", "RT",  "2M",
                                             "L",   "M",   "1M",  "P",   "PL",  "J",   "2G",  "RL",  "RS"};
// Codes of two bar widths, where the wide width is used.
bool twoWidths(QByteArrayView symbology)
{
    return symbology == "3" || symbology == "3C" || symbology == "2" || symbology == "2C" || symbology == "2D" ||
           symbology == "2U" || symbology == "2M" || symbology == "2G" || symbology == "L" || symbology == "M" ||
           symbology == "1M" || symbology == "K";
}

Epl2Command barcodeCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 9);
    if (p.size() != 9)
        return notUnderstood(QStringLiteral("B takes X, Y, rotation, bar code type, narrow and wide bar widths, "
                                            "height, B or N, and the data"));
    Epl2Command result;
    result.kind = Epl2Command::Barcode;
    BarcodeField& f = result.barcode;
    f.symbology = p[3].toByteArray();
    bool drawn = false;
    for (const char* each : kDrawnSymbologies)
        drawn = drawn || p[3] == each;
    if (!drawn)
        return notUnderstood(QStringLiteral("%1 is not a bar code type").arg(printableExcerpt(p[3], 8)));
    const struct
    {
        int index;
        int* target;
        int lowest;
        int highest;
        const char* what;
    } numbers[] = {
        {0, &f.x, -kMaxPosition, kMaxPosition, "X"}, {1, &f.y, -kMaxPosition, kMaxPosition, "Y"},
        {2, &f.rotation, 0, 3, "the rotation"},      {4, &f.narrow, 1, 30, "the narrow bar width"},
        {5, &f.wide, 1, 30, "the wide bar width"},   {6, &f.height, 1, kMaxLabelDots, "the height"},
    };
    for (const auto& n : numbers) {
        const std::optional<int> value = wholeNumber(p[n.index], n.lowest, n.highest);
        if (!value)
            return notUnderstood(QStringLiteral("%1 of B is a whole number from %2 to %3")
                                     .arg(QLatin1String(n.what))
                                     .arg(n.lowest)
                                     .arg(n.highest));
        *n.target = *value;
    }
    if (twoWidths(f.symbology) && f.wide <= f.narrow)
        return notUnderstood(QStringLiteral("the wide bars of B must be wider than the narrow ones"));
    if (p[7] != "B" && p[7] != "N")
        return notUnderstood(QStringLiteral("B prints its text (B) or not (N)"));
    f.readable = p[7] == "B";
    const QString why = fieldData(p[8], &f.source, &f.text, &f.number, kMaxTextLength);
    if (!why.isEmpty())
        return notUnderstood(QStringLiteral("the data of B") + why);
    return result;
}

// The options of b between the type and the data: letters each followed by a value ("c16,r16,h4" or

} // namespace epl2
