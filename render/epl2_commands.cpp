#include "render/epl2_commands.h"

#include <QList>

#include <optional>

namespace {

// The largest label side the picture takes, in dots (about 1 m at 203 dots per inch).
// Positions beyond this are refused rather than carried through the arithmetic.
constexpr int kMaxPosition = 99999;
constexpr int kMaxTextLength = 1000;
constexpr int kMaxFormName = 8;

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
std::optional<QByteArray> unquote(QByteArrayView text, QString* why)
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
            if (result.size() > kMaxTextLength) {
                *why = QStringLiteral("the text is longer than %1 characters").arg(kMaxTextLength);
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

    const QByteArrayView data = p[7];
    if (data.startsWith('"')) {
        QString why;
        const std::optional<QByteArray> text = unquote(data, &why);
        if (!text)
            return notUnderstood(QStringLiteral("the data of A: ") + why);
        f.text = *text;
    } else if (data.size() == 3 && data[0] == 'V' && wholeNumber(data.sliced(1), 0, 99)) {
        f.source = TextSource::Variable;
        f.number = *wholeNumber(data.sliced(1), 0, 99);
    } else if (data.size() == 2 && data[0] == 'C' && wholeNumber(data.sliced(1), 0, 9)) {
        f.source = TextSource::Counter;
        f.number = *wholeNumber(data.sliced(1), 0, 9);
    } else {
        return notUnderstood(QStringLiteral("the data of A is a quoted text, a variable V00 to V99 or a counter "
                                            "C0 to C9"));
    }
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

    const QByteArrayView rest = line.sliced(1);
    switch (line[0]) {
    case 'N':
        return single(Epl2Command::Clear, rest, "N");
    case 'O':
        return single(Epl2Command::Options, rest, "O (options are not read)");
    case '?':
        return single(Epl2Command::DataFollows, rest, "?");
    case 'D':
        return number(Epl2Command::Density, rest, 0, 15, "the darkness of D");
    case 'S':
        return number(Epl2Command::Speed, rest, 0, 6, "the speed of S");
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
