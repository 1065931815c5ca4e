// What the command families share: numbers, parameters, quoted texts, names and the data of fields.
#include "render/epl2_syntax.h"

#include <QList>

namespace epl2 {

Epl2Command notUnderstood(const QString& why)
{
    Epl2Command result;
    result.error = why;
    return result;
}

// A whole number in [lowest, highest]: digits, with "-" before them when `lowest` is negative and "+" when
// `plusAllowed`. Nothing else, not even blanks.
std::optional<int> wholeNumber(QByteArrayView text, int lowest, int highest, bool plusAllowed)
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
std::optional<QByteArray> unquote(QByteArrayView text, QString* why, int limit)
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

Epl2Command formName(Epl2Command::Kind kind, QByteArrayView text)
{
    QString why;
    const std::optional<QByteArray> name = unquote(text, &why);
    if (!name)
        return notUnderstood(QStringLiteral("form name: ") + why);
    if (name->isEmpty() || name->size() > kMaxFormName)
        return notUnderstood(QStringLiteral("a form name has 1 to %1 characters").arg(kMaxFormName));
    Epl2Command result;
    result.kind = kind;
    result.name = *name;
    return result;
}

Epl2Command single(Epl2Command::Kind kind, QByteArrayView rest, const char* what)
{
    if (!rest.isEmpty())
        return notUnderstood(QStringLiteral("%1 takes nothing after it").arg(QLatin1String(what)));
    Epl2Command result;
    result.kind = kind;
    return result;
}

Epl2Command number(Epl2Command::Kind kind, QByteArrayView text, int lowest, int highest, const char* what)
{
    const std::optional<int> value = wholeNumber(text, lowest, highest);
    if (!value)
        return notUnderstood(
            QStringLiteral("%1 is a whole number from %2 to %3").arg(QLatin1String(what)).arg(lowest).arg(highest));
    Epl2Command result;
    result.kind = kind;
    result.value = *value;
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

} // namespace epl2
