#include "render/epl2_commands.h"

#include "render/code_pages.h"

#include <QList>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <optional>

namespace {

// The largest label side the picture takes, in dots (about 1 m at 203 dots per inch).
// Positions beyond this are refused rather than carried through the arithmetic.
constexpr int kMaxPosition = 99999;
constexpr int kMaxTextLength = 1000;
constexpr int kMaxFormName = 8;
// Speeds differ from model to model (1.5 to 6 inches a second on desktop models, more on others); the number is
// kept as the printer's setting, so any a model may take is.
constexpr int kMaxSpeed = 99;
// An option of O: a letter and up to 7 letters or digits after it.
constexpr int kMaxOptionLength = 8;

using Result = Epl2Command;

Result notUnderstood(const QString& why)
{
    Result result;
    result.error = why;
    return result;
}

// A whole number in [lowest, highest]: digits, with "-" before them when `lowest` is negative and "+" when
// `plusAllowed`. Nothing else, not even blanks.
std::optional<int> wholeNumber(QByteArrayView text, int lowest, int highest, bool plusAllowed = false)
{
    qsizetype at = 0;
    bool negative = false;
    if (!text.isEmpty() && ((text[0] == '-' && lowest < 0) || (text[0] == '+' && plusAllowed))) {
        negative = text[0] == '-';
        at = 1;
    }
    if (at == text.size() || text.size() - at > 9)
        return std::nullopt;
    qint64 value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9')
            return std::nullopt;
        value = value * 10 + (text[at] - '0');
    }
    if (negative)
        value = -value;
    if (value < lowest || value > highest)
        return std::nullopt;
    return int(value);
}

// Splits "a,b,c" at its first `fields - 1` commas; the last part keeps any further commas.
QList<QByteArrayView> splitParameters(QByteArrayView text, int fields)
{
    QList<QByteArrayView> parts;
    qsizetype start = 0;
    while (parts.size() + 1 < fields) {
        const qsizetype comma = text.indexOf(',', start);
        if (comma < 0)
            break;
        parts << text.sliced(start, comma - start);
        start = comma + 1;
    }
    parts << text.sliced(start);
    return parts;
}

// A text in double quotes with \" for a quote and \\ for a backslash (a backslash before any other
// character stands for that character). Nothing may follow the closing quote.
std::optional<QByteArray> unquote(QByteArrayView text, QString* why, int limit = kMaxTextLength)
{
    if (text.size() < 2 || text.front() != '"') {
        *why = QStringLiteral("the text is not in double quotes");
        return std::nullopt;
    }
    QByteArray result;
    for (qsizetype at = 1; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\\' && at + 1 < text.size()) {
            result.append(text[++at]);
        } else if (c == '"') {
            if (at + 1 != text.size()) {
                *why = QStringLiteral("something follows the closing double quote");
                return std::nullopt;
            }
            if (result.size() > limit) {
                *why = QStringLiteral("the text is longer than %1 characters").arg(limit);
                return std::nullopt;
            }
            return result;
        } else {
            result.append(c);
        }
    }
    *why = QStringLiteral("the closing double quote is missing");
    return std::nullopt;
}

std::optional<Justify> justification(QByteArrayView text)
{
    if (text == "L")
        return Justify::Left;
    if (text == "R")
        return Justify::Right;
    if (text == "C")
        return Justify::Centre;
    if (text == "N")
        return Justify::None;
    return std::nullopt;
}

// The gap of Q: dots (a fraction is allowed), or "B" and dots for a black mark.
bool isGap(QByteArrayView text)
{
    if (text.startsWith('B'))
        text = text.sliced(1);
    const qsizetype point = text.indexOf('.');
    const QByteArrayView whole = point < 0 ? text : text.first(point);
    const QByteArrayView fraction = point < 0 ? QByteArrayView("0") : text.sliced(point + 1);
    return wholeNumber(whole, 0, kMaxLabelDots).has_value() && wholeNumber(fraction, 0, 999999999).has_value();
}

Result formName(Epl2Command::Kind kind, QByteArrayView text)
{
    QString why;
    const std::optional<QByteArray> name = unquote(text, &why);
    if (!name)
        return notUnderstood(QStringLiteral("form name: ") + why);
    if (name->isEmpty() || name->size() > kMaxFormName)
        return notUnderstood(QStringLiteral("a form name has 1 to %1 characters").arg(kMaxFormName));
    Result result;
    result.kind = kind;
    result.name = *name;
    return result;
}

Result single(Epl2Command::Kind kind, QByteArrayView rest, const char* what)
{
    if (!rest.isEmpty())
        return notUnderstood(QStringLiteral("%1 takes nothing after it").arg(QLatin1String(what)));
    Result result;
    result.kind = kind;
    return result;
}

Result number(Epl2Command::Kind kind, QByteArrayView text, int lowest, int highest, const char* what)
{
    const std::optional<int> value = wholeNumber(text, lowest, highest);
    if (!value)
        return notUnderstood(
            QStringLiteral("%1 is a whole number from %2 to %3").arg(QLatin1String(what)).arg(lowest).arg(highest));
    Result result;
    result.kind = kind;
    result.value = *value;
    return result;
}

Result lengthCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 4);
    if (p.size() < 2 || p.size() > 3)
        return notUnderstood(QStringLiteral("Q takes the label length, the gap and an optional offset"));
    Result result = number(Epl2Command::Length, p[0], 1, kMaxLabelDots, "the label length of Q");
    if (!result.error.isEmpty())
        return result;
    if (!isGap(p[1]))
        return notUnderstood(QStringLiteral("the gap of Q is a number of dots, or B and a number"));
    if (p.size() == 3 && !wholeNumber(p[2], -kMaxLabelDots, kMaxLabelDots, true))
        return notUnderstood(QStringLiteral("the offset of Q is a whole number of dots"));
    result.name = p[1].toByteArray();
    if (p.size() == 3)
        result.step = p[2].toInt();
    return result;
}

Result printCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 3);
    if (p.size() > 2)
        return notUnderstood(QStringLiteral("P takes the number of labels and an optional number of copies"));
    Result result = number(Epl2Command::Print, p[0], 1, 65535, "the number of labels of P");
    if (result.error.isEmpty() && p.size() == 2) {
        const std::optional<int> copies = wholeNumber(p[1], 1, 65535);
        if (!copies)
            return notUnderstood(QStringLiteral("the copies of P are a whole number from 1 to 65535"));
        result.copies = *copies;
    }
    return result;
}

// The data of a field: a quoted text, a variable Vnn or a counter Cn. Empty, or what is wrong with it.
QString fieldData(QByteArrayView data, TextSource* source, QByteArray* text, int* number, int limit)
{
    if (data.startsWith('"')) {
        QString why;
        const std::optional<QByteArray> quoted = unquote(data, &why, limit);
        if (!quoted)
            return QStringLiteral(": ") + why;
        *text = *quoted;
        *source = TextSource::Quoted;
    } else if (data.size() == 3 && data[0] == 'V' && wholeNumber(data.sliced(1), 0, 99)) {
        *source = TextSource::Variable;
        *number = *wholeNumber(data.sliced(1), 0, 99);
    } else if (data.size() == 2 && data[0] == 'C' && wholeNumber(data.sliced(1), 0, 9)) {
        *source = TextSource::Counter;
        *number = *wholeNumber(data.sliced(1), 0, 9);
    } else {
        return QStringLiteral(" is a quoted text, a variable V00 to V99 or a counter C0 to C9");
    }
    return QString();
}

Result textCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 8);
    if (p.size() != 8)
        return notUnderstood(QStringLiteral("A takes X, Y, rotation, font, two multipliers, N or R, and the data"));
    Result result;
    result.kind = Epl2Command::Text;
    TextField& f = result.field;
    const struct
    {
        int* target;
        int lowest;
        int highest;
        const char* what;
    } numbers[] = {
        {&f.x, -kMaxPosition, kMaxPosition, "X"},
        {&f.y, -kMaxPosition, kMaxPosition, "Y"},
        {&f.rotation, 0, 3, "the rotation"},
        {&f.font, 1, 5, "the font"},
        {&f.widthTimes, 1, 8, "the horizontal multiplier"},
        {&f.heightTimes, 1, 9, "the vertical multiplier"},
    };
    if (p[3].size() == 1 && p[3][0] >= 'A' && p[3][0] <= 'Z')
        return notUnderstood(QStringLiteral("soft fonts (font A to Z) are not drawn"));
    for (int i = 0; i < 6; ++i) {
        const std::optional<int> value = wholeNumber(p[i], numbers[i].lowest, numbers[i].highest);
        if (!value)
            return notUnderstood(QStringLiteral("%1 of A is a whole number from %2 to %3")
                                     .arg(QLatin1String(numbers[i].what))
                                     .arg(numbers[i].lowest)
                                     .arg(numbers[i].highest));
        *numbers[i].target = *value;
    }
    if (f.widthTimes == 7)
        return notUnderstood(QStringLiteral("the horizontal multiplier of A is 1 to 6 or 8"));
    if (p[6] != "N" && p[6] != "R")
        return notUnderstood(QStringLiteral("A prints N (normal) or R (reverse)"));
    f.reverse = p[6] == "R";

    const QString why = fieldData(p[7], &f.source, &f.text, &f.number, kMaxTextLength);
    if (!why.isEmpty())
        return notUnderstood(QStringLiteral("the data of A") + why);
    return result;
}

// The prompt that ends V and C lines: a quoted text, or nothing at all.
bool isPrompt(const QList<QByteArrayView>& p, int at)
{
    if (p.size() == at)
        return true;
    QString why;
    return p.size() == at + 1 && unquote(p[at], &why).has_value();
}

Result variableCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 4);
    const std::optional<int> which = p.size() >= 3 ? wholeNumber(p[0], 0, 99) : std::nullopt;
    const std::optional<int> length = p.size() >= 3 ? wholeNumber(p[1], 1, 99) : std::nullopt;
    const std::optional<Justify> justify = p.size() >= 3 ? justification(p[2]) : std::nullopt;
    if (!which || p[0].size() != 2 || !length || !justify || !isPrompt(p, 3))
        return notUnderstood(QStringLiteral("a variable is Vnn (00 to 99), its length 1 to 99, L, R, C or N, "
                                            "and a quoted prompt"));
    Result result;
    result.kind = Epl2Command::Variable;
    result.number = *which;
    result.value = *length;
    result.justify = *justify;
    return result;
}

Result counterCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 5);
    const bool enough = p.size() >= 4;
    const std::optional<int> which = enough && p[0].size() == 1 ? wholeNumber(p[0], 0, 9) : std::nullopt;
    const std::optional<int> digits = enough ? wholeNumber(p[1], 1, 18) : std::nullopt;
    const std::optional<Justify> justify = enough ? justification(p[2]) : std::nullopt;
    const std::optional<int> step = enough && (p[3].startsWith('+') || p[3].startsWith('-'))
                                        ? wholeNumber(p[3], -999999, 999999, true)
                                        : std::nullopt;
    if (!which || !digits || !justify || !step || !isPrompt(p, 4))
        return notUnderstood(QStringLiteral("a counter is Cn (0 to 9), its digits 1 to 18, L, R, C or N, a step "
                                            "such as +1 or -1, and a quoted prompt"));
    Result result;
    result.kind = Epl2Command::Counter;
    result.number = *which;
    result.value = *digits;
    result.justify = *justify;
    result.step = *step;
    return result;
}

// Bar code selections drawn, and those of the manual that are not.
constexpr const char* kDrawnSymbologies[] = {"3",   "3C",  "9",   "1",   "1A", "1B", "1C", "1E",
                                             "E30", "E80", "UA0", "UE0", "2",  "2C", "K"};
constexpr const char* kUndrawnSymbologies[] = {"0",   "1D",  "2D",  "2G",  "2M",  "2U",  "E32", "E35",
                                               "E82", "E85", "UA2", "UA5", "UE2", "UE5", "J",   "L",
                                               "M",   "P",   "PL",  "R14", "RL",  "RS",  "RT",  "1M"};
// Codes of two bar widths, where the wide width is used.
bool twoWidths(QByteArrayView symbology)
{
    return symbology == "3" || symbology == "3C" || symbology == "2" || symbology == "2C" || symbology == "K";
}

Result barcodeCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 9);
    if (p.size() != 9)
        return notUnderstood(QStringLiteral("B takes X, Y, rotation, bar code type, narrow and wide bar widths, "
                                            "height, B or N, and the data"));
    Result result;
    result.kind = Epl2Command::Barcode;
    BarcodeField& f = result.barcode;
    f.symbology = p[3].toByteArray();
    bool drawn = false;
    for (const char* each : kDrawnSymbologies)
        drawn = drawn || p[3] == each;
    if (!drawn) {
        for (const char* each : kUndrawnSymbologies) {
            if (p[3] == each)
                return notUnderstood(QStringLiteral("bar code type %1 is not drawn").arg(printableExcerpt(p[3])));
        }
        return notUnderstood(QStringLiteral("%1 is not a bar code type").arg(printableExcerpt(p[3], 8)));
    }
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
// "m2s4eH"); commas between them may be left out.
struct MatrixOption
{
    char letter;
    QByteArrayView value;
};

std::optional<QList<MatrixOption>> matrixOptions(QByteArrayView text, const char* letterValued)
{
    QList<MatrixOption> options;
    qsizetype at = 0;
    while (at < text.size()) {
        if (text[at] == ',') {
            ++at;
            continue;
        }
        const char letter = text[at++];
        if (!((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z')))
            return std::nullopt;
        const qsizetype start = at;
        if (std::strchr(letterValued, letter) && at < text.size() && text[at] >= 'A' && text[at] <= 'Z') {
            ++at;
        } else {
            while (at < text.size() && text[at] >= '0' && text[at] <= '9')
                ++at;
        }
        options << MatrixOption{letter, text.sliced(start, at - start)};
        if (options.size() > 20)
            return std::nullopt;
    }
    return options;
}

Result matrixCommand(QByteArrayView rest)
{
    const qsizetype quote = rest.indexOf('"');
    const qsizetype variable = quote < 0 ? rest.lastIndexOf(',') : -1;
    const qsizetype dataAt = quote >= 0 ? quote : (variable >= 0 ? variable + 1 : -1);
    if (dataAt < 0)
        return notUnderstood(QStringLiteral("b takes X, Y, the code type, its options and the data"));
    const QList<QByteArrayView> p = splitParameters(rest.first(dataAt), 4);
    if (p.size() < 3)
        return notUnderstood(QStringLiteral("b takes X, Y, the code type, its options and the data"));
    Result result;
    result.kind = Epl2Command::Code2D;
    MatrixField& f = result.matrix;
    const std::optional<int> x = wholeNumber(p[0], -kMaxPosition, kMaxPosition);
    const std::optional<int> y = wholeNumber(p[1], -kMaxPosition, kMaxPosition);
    if (!x || !y)
        return notUnderstood(
            QStringLiteral("X and Y of b are whole numbers from %1 to %2").arg(-kMaxPosition).arg(kMaxPosition));
    f.x = *x;
    f.y = *y;
    QByteArrayView type = p[2];
    QByteArrayView optionText = p.size() > 3 ? p[3] : QByteArrayView();
    if (type.size() > 1 && type[0] == 'Q') {
        optionText = rest.sliced(p[0].size() + p[1].size() + 3, dataAt - (p[0].size() + p[1].size() + 3));
        type = type.first(1);
    }
    if (type == "A")
        return notUnderstood(QStringLiteral("Aztec codes are not drawn"));
    if (type.size() != 1 || !QByteArrayView("DQPM").contains(type[0]))
        return notUnderstood(QStringLiteral("b draws D (Data Matrix), Q (QR Code), P (PDF417) or M (MaxiCode)"));
    f.type = type[0];
    if (f.type == 'Q' && optionText.startsWith(','))
        optionText = optionText.sliced(1);
    if (optionText.endsWith(','))
        optionText.chop(1);

    const QString badOption = QStringLiteral("an option of b%1 is not understood").arg(QLatin1Char(f.type));
    if (f.type == 'P') {
        const QList<QByteArrayView> sizes = splitParameters(optionText, 3);
        const std::optional<int> width = sizes.size() >= 2 ? wholeNumber(sizes[0], 1, kMaxLabelDots) : std::nullopt;
        const std::optional<int> height = sizes.size() >= 2 ? wholeNumber(sizes[1], 1, kMaxLabelDots) : std::nullopt;
        if (!width || !height)
            return notUnderstood(QStringLiteral("bP takes the most dots across and along, 1 to %1").arg(kMaxLabelDots));
        f.maxWidth = *width;
        f.maxHeight = *height;
        optionText = sizes.size() == 3 ? sizes[2] : QByteArrayView();
    }
    const std::optional<QList<MatrixOption>> options = matrixOptions(optionText, f.type == 'Q' ? "ei" : "");
    if (!options)
        return notUnderstood(badOption);
    for (const MatrixOption& o : *options) {
        const std::optional<int> n = wholeNumber(o.value, 0, 999);
        const auto in = [&n](int lowest, int highest) { return n && *n >= lowest && *n <= highest; };
        bool ok = false;
        if (f.type == 'D') {
            if (o.letter == 'c' && in(8, 144)) {
                f.columns = *n;
                ok = true;
            } else if (o.letter == 'r' && in(8, 144)) {
                f.rows = *n;
                ok = true;
            } else if (o.letter == 'h' && in(1, 40)) {
                f.module = *n;
                ok = true;
            } else if (o.letter == 'v') {
                f.inverse = true;
                ok = true;
            }
        } else if (f.type == 'Q') {
            if (o.letter == 'm' && in(1, 2)) {
                f.model = *n;
                ok = true;
            } else if (o.letter == 's' && in(1, 99)) {
                f.module = *n;
                ok = true;
            } else if (o.letter == 'e' && o.value.size() == 1 && QByteArrayView("LMQH").contains(o.value[0])) {
                f.errorLevel = int(QByteArrayView("LMQH").indexOf(o.value[0]));
                ok = true;
            } else if (o.letter == 'i' && (o.value == "A" || o.value == "M")) {
                f.manualInput = o.value == "M";
                ok = true;
            }
        } else if (f.type == 'P') {
            ok = true;
            if (o.letter == 's' && in(0, 8))
                f.errorLevel = *n;
            else if (o.letter == 'c' && in(0, 1))
                f.binary = *n == 1;
            else if (o.letter == 'f' && in(0, 1))
                f.centred = *n == 1;
            else if (o.letter == 'x' && in(2, 9))
                f.module = *n;
            else if (o.letter == 'y' && in(4, 99))
                f.rowHeight = *n;
            else if (o.letter == 'r' && in(3, 90))
                f.rows = *n;
            else if (o.letter == 'l' && in(1, 30))
                f.columns = *n;
            else if (o.letter == 't' && in(0, 1))
                f.truncated = *n == 1;
            else if (o.letter == 'o' && in(0, 3))
                f.rotation = *n;
            else if (o.letter == 'p' && in(0, 1))
                f.printText = *n == 1;
            else
                ok = false;
        } else if (o.letter == 'm' && (in(2, 4) || in(6, 6))) {
            f.mode = *n;
            ok = true;
        }
        if (!ok)
            return notUnderstood(
                QStringLiteral("%1: %2%3").arg(badOption).arg(QLatin1Char(o.letter)).arg(printableExcerpt(o.value, 8)));
    }
    if (f.type == 'Q' && f.model == 1)
        return notUnderstood(QStringLiteral("QR Code model 1 is not drawn"));
    const QString why = fieldData(rest.sliced(dataAt), &f.source, &f.text, &f.number, kMaxFieldBytes);
    if (!why.isEmpty())
        return notUnderstood(QStringLiteral("the data of b") + why);
    return result;
}

// LO, LW, LE: X, Y, dots across, dots along. LS and X: X, Y, thickness, end X, end Y.
Result shapeCommand(Epl2Command::Kind kind, QByteArrayView rest, const char* name)
{
    const int count = kind == Epl2Command::LineDiagonal || kind == Epl2Command::Box ? 5 : 4;
    const QList<QByteArrayView> p = splitParameters(rest, count + 1);
    if (p.size() != count)
        return notUnderstood(
            count == 4
                ? QStringLiteral("%1 takes X, Y, the dots across and the dots along").arg(QLatin1String(name))
                : QStringLiteral("%1 takes X, Y, the thickness, the end X and the end Y").arg(QLatin1String(name)));
    Result result;
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

// "GWx,y,across,along," up to and with its fourth comma.
std::optional<std::array<int, 4>> graphicHeader(QByteArrayView header)
{
    if (!header.startsWith("GW") || !header.endsWith(','))
        return std::nullopt;
    const QList<QByteArrayView> p = splitParameters(header.sliced(2).chopped(1), 5);
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

Result graphicWrite(QByteArrayView line)
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
            QStringLiteral("GW has %1 bytes of data where its sizes take %2").arg(data.size()).arg(wanted));
    Result result;
    result.kind = Epl2Command::GraphicWrite;
    for (int i = 0; i < 4; ++i)
        result.numbers[i] = (*header)[i];
    result.data = data.toByteArray();
    return result;
}

// GM"name"bytes
Result graphicStore(QByteArrayView rest)
{
    const qsizetype close = rest.size() > 1 ? rest.indexOf('"', 1) : -1;
    if (close < 0)
        return notUnderstood(QStringLiteral("GM takes a quoted name and the bytes of the PCX file"));
    Result result = formName(Epl2Command::GraphicStore, rest.first(close + 1));
    if (!result.error.isEmpty())
        return notUnderstood(QStringLiteral("GM: ") + result.error);
    const std::optional<int> size = wholeNumber(rest.sliced(close + 1), 1, int(kMaxGraphicBytes));
    if (!size)
        return notUnderstood(QStringLiteral("the size of GM is 1 to %1 bytes").arg(kMaxGraphicBytes));
    result.value = *size;
    return result;
}

Result graphicRecall(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 3);
    const std::optional<int> x = p.size() == 3 ? wholeNumber(p[0], -kMaxPosition, kMaxPosition) : std::nullopt;
    const std::optional<int> y = p.size() == 3 ? wholeNumber(p[1], -kMaxPosition, kMaxPosition) : std::nullopt;
    if (!x || !y)
        return notUnderstood(QStringLiteral("GG takes X, Y and a quoted graphic name"));
    Result result = formName(Epl2Command::GraphicRecall, p[2]);
    if (!result.error.isEmpty())
        return notUnderstood(QStringLiteral("GG: ") + result.error);
    result.numbers[0] = *x;
    result.numbers[1] = *y;
    return result;
}

Result codePageCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 4);
    if (p.size() < 2 || p.size() > 3 || (p.size() == 3 && !wholeNumber(p[2], 0, 999)))
        return notUnderstood(QStringLiteral("I takes 8, the code page and an optional country code"));
    if (p[0] == "7")
        return notUnderstood(QStringLiteral("7-bit national character sets are not drawn"));
    if (p[0] != "8")
        return notUnderstood(QStringLiteral("I takes 8 (8-bit data) first"));
    const int page = codePageOf(p[1]);
    if (page == 0)
        return notUnderstood(QStringLiteral("code page %1 is not drawn (0 for 437, 1 for 850 and A for 1252 are)")
                                 .arg(printableExcerpt(p[1], 4)));
    Result result;
    result.kind = Epl2Command::CodePage;
    result.value = page;
    return result;
}

Result referenceCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 3);
    const std::optional<int> x = p.size() == 2 ? wholeNumber(p[0], 0, kMaxLabelDots) : std::nullopt;
    const std::optional<int> y = p.size() == 2 ? wholeNumber(p[1], 0, kMaxLabelDots) : std::nullopt;
    if (!x || !y)
        return notUnderstood(QStringLiteral("R takes the reference X and Y, 0 to %1").arg(kMaxLabelDots));
    Result result;
    result.kind = Epl2Command::Reference;
    result.numbers[0] = *x;
    result.numbers[1] = *y;
    return result;
}

// O and its hardware options, kept as written: C (cutter: Cb, or a count), D (direct thermal), P, L, F with a
// letter, S, and the options of other models (d, N, D with a number, ...), none of which changes the picture.
Result optionsCommand(QByteArrayView rest)
{
    for (const QByteArrayView each : splitParameters(rest, 20)) {
        if (rest.isEmpty())
            break;
        const bool letters = !each.isEmpty() && each.size() <= kMaxOptionLength && std::isalpha(uchar(each[0])) &&
                             std::all_of(each.begin(), each.end(), [](char c) { return std::isalnum(uchar(c)); });
        if (!letters)
            return notUnderstood(QStringLiteral("O: the option %1 is not a letter with up to %2 letters or digits")
                                     .arg(printableExcerpt(each, 8))
                                     .arg(kMaxOptionLength - 1));
    }
    Result result;
    result.kind = Epl2Command::Options;
    result.data = rest.toByteArray();
    return result;
}

} // namespace

Epl2Command readEpl2Command(QByteArrayView line)
{
    if (line.isEmpty())
        return Result();
    if (line.startsWith("FK"))
        return formName(Epl2Command::FormDelete, line.sliced(2));
    if (line.startsWith("FS"))
        return formName(Epl2Command::FormStore, line.sliced(2));
    if (line.startsWith("FR"))
        return formName(Epl2Command::FormRecall, line.sliced(2));
    if (line.startsWith("FE"))
        return single(Epl2Command::FormEnd, line.sliced(2), "FE");
    if (line.startsWith("GW"))
        return graphicWrite(line);
    if (line.startsWith("GM"))
        return graphicStore(line.sliced(2));
    if (line.startsWith("GK")) {
        Result result = formName(Epl2Command::GraphicDelete, line.sliced(2));
        return result.error.isEmpty() ? result : notUnderstood(QStringLiteral("GK: ") + result.error);
    }
    if (line.startsWith("GI"))
        return single(Epl2Command::GraphicList, line.sliced(2), "GI");
    if (line.startsWith("GG"))
        return graphicRecall(line.sliced(2));
    if (line.startsWith("LO"))
        return shapeCommand(Epl2Command::LineBlack, line.sliced(2), "LO");
    if (line.startsWith("LW"))
        return shapeCommand(Epl2Command::LineWhite, line.sliced(2), "LW");
    if (line.startsWith("LE"))
        return shapeCommand(Epl2Command::LineXor, line.sliced(2), "LE");
    if (line.startsWith("LS"))
        return shapeCommand(Epl2Command::LineDiagonal, line.sliced(2), "LS");
    if (line == "ZT" || line == "ZB" || line == "JF" || line == "JB" || line == "JC") {
        Result result;
        result.kind = line[0] == 'Z' ? Epl2Command::Direction : Epl2Command::FormBackup;
        result.data = line.sliced(1).toByteArray();
        return result;
    }

    const QByteArrayView rest = line.sliced(1);
    switch (line[0]) {
    case 'N':
        return single(Epl2Command::Clear, rest, "N");
    case 'O':
        return optionsCommand(rest);
    case 'B':
        return barcodeCommand(rest);
    case 'b':
        return matrixCommand(rest);
    case 'X':
        return shapeCommand(Epl2Command::Box, rest, "X");
    case 'I':
        return codePageCommand(rest);
    case 'R':
        return referenceCommand(rest);
    case '?':
        return single(Epl2Command::DataFollows, rest, "?");
    case 'D':
        return number(Epl2Command::Density, rest, 0, 15, "the darkness of D");
    case 'S':
        return number(Epl2Command::Speed, rest, 0, kMaxSpeed, "the speed of S");
    case 'q':
        return number(Epl2Command::Width, rest, 1, kMaxLabelDots, "the label width of q");
    case 'Q':
        return lengthCommand(rest);
    case 'P':
        return printCommand(rest);
    case 'A':
        return textCommand(rest);
    case 'V':
        return variableCommand(rest);
    case 'C':
        return counterCommand(rest);
    default:
        break;
    }
    return notUnderstood(QStringLiteral("unknown command"));
}

QString printableExcerpt(QByteArrayView bytes, int limit)
{
    QString text;
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        if (text.size() >= limit) {
            text += QLatin1String("...");
            break;
        }
        const uchar c = uchar(bytes[at]);
        if (c >= 0x20 && c < 0x7F)
            text += QLatin1Char(char(c));
        else
            text += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    }
    return text;
}

std::optional<qsizetype> graphicDataSize(QByteArrayView header)
{
    const std::optional<std::array<int, 4>> parsed = graphicHeader(header);
    if (!parsed)
        return std::nullopt;
    return qsizetype((*parsed)[2]) * (*parsed)[3];
}
