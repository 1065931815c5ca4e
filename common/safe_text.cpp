#include "common/safe_text.h"

namespace {

enum class Escape {
    Everything,   // controls, backslash and everything outside ASCII
    ControlsOnly, // C0, DEL and C1 controls only: text already made safe passes unchanged
};

bool isControl(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

void appendHexByte(QString& out, uint value)
{
    out += QLatin1String("\\x");
    out += QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

// Appends code point `c` made visible.
void appendVisible(QString& out, char32_t c, Escape escape, bool quoted)
{
    if (c == u'\t') {
        out += QLatin1String("\\t");
    } else if (c == u'\n') {
        out += QLatin1String("\\n");
    } else if (c == u'\r') {
        out += QLatin1String("\\r");
    } else if (c < 0x20 || c == 0x7F) {
        appendHexByte(out, uint(c));
    } else if (escape == Escape::ControlsOnly) {
        if (isControl(c))
            out += QLatin1Char('<') + codePointName(c) + QLatin1Char('>');
        else
            out += QString::fromUcs4(&c, 1);
    } else if (c > 0x7F) {
        out += QLatin1Char('<') + codePointName(c) + QLatin1Char('>');
    } else if (c == u'\\' || (quoted && c == u'"')) {
        out += QLatin1Char('\\');
        out += QChar(char16_t(c));
    } else {
        out += QChar(char16_t(c));
    }
}

// Reads the code point at `i` (a pair of surrogates as one, a lone surrogate as itself) and steps over it.
char32_t nextCodePoint(QStringView text, qsizetype& i)
{
    const char16_t c = text[i].unicode();
    ++i;
    if (QChar::isHighSurrogate(c) && i < text.size() && text[i].isLowSurrogate())
        return QChar::surrogateToUcs4(c, text[i++].unicode());
    return c;
}

qsizetype codePointCount(QStringView text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++count)
        nextCodePoint(text, i);
    return count;
}

struct Shown
{
    QString text;
    bool cut = false;
};

Shown visible(QStringView text, qsizetype shown, Escape escape, bool quoted)
{
    Shown result;
    qsizetype i = 0;
    for (qsizetype count = 0; i < text.size() && count < shown; ++count)
        appendVisible(result.text, nextCodePoint(text, i), escape, quoted);
    result.cut = i < text.size();
    return result;
}

QString lengthNote(QStringView text)
{
    return QStringLiteral(" (%1 characters)").arg(codePointCount(text));
}

} // namespace

QString quotedForMessage(QStringView text, qsizetype shown)
{
    const Shown part = visible(text, shown, Escape::Everything, true);
    if (!part.cut)
        return QLatin1Char('"') + part.text + QLatin1Char('"');
    return QLatin1Char('"') + part.text + QLatin1String("...\"") + lengthNote(text);
}

QString visibleForMessage(QStringView text, qsizetype shown)
{
    const Shown part = visible(text, shown, Escape::Everything, false);
    return part.cut ? part.text + QLatin1String("...") + lengthNote(text) : part.text;
}

QString safeMessageLine(QStringView line, qsizetype shown)
{
    const Shown part = visible(line, shown, Escape::ControlsOnly, false);
    return part.cut ? part.text + QLatin1String("...") + lengthNote(line) : part.text;
}

QString codePointName(char32_t codePoint)
{
    return QStringLiteral("U+") + QString::number(uint(codePoint), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

QString secondsText(std::chrono::milliseconds ms)
{
    // Whole milliseconds written out without floating point: "10", "0.5", "2.25".
    const qint64 count = ms.count();
    const qint64 whole = count / 1000;
    qint64 thousandths = count % 1000;
    QString text = QString::number(whole);
    if (thousandths == 0)
        return text;
    if (count < 0 && whole == 0)
        text.prepend(QLatin1Char('-'));
    thousandths = thousandths < 0 ? -thousandths : thousandths;
    QString fraction = QString::number(thousandths).rightJustified(3, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    return text + QLatin1Char('.') + fraction;
}

QString counted(qint64 number, const char* singular)
{
    return QStringLiteral("%1 %2%3")
        .arg(number)
        .arg(QLatin1String(singular))
        .arg(QLatin1String(number == 1 ? "" : "s"));
}
