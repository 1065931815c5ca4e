// Two-dimensional codes: b (Data Matrix, QR Code, PDF417, MaxiCode, Aztec).
#include "render/epl2_syntax.h"
#include "render/message_words.h"

#include <QList>

#include <cstring>

namespace epl2 {

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

// QR Code's structured append, "Dc01d02p3A": this symbol's number c and the count d, 1 to 16 each, and the
// parity p in hexadecimal (optional); `rest` gets the other options.
QString structuredAppend(QByteArrayView text, MatrixField* f, QByteArray* rest)
{
    const qsizetype at = text.indexOf('D');
    qsizetype end = at + 1;
    const auto field = [&](char letter, int base, int most) -> std::optional<int> {
        if (end >= text.size() || text[end] != letter)
            return std::nullopt;
        qsizetype digits = end + 1;
        while (digits < text.size() && digits - end <= 2 &&
               QByteArrayView("0123456789ABCDEFabcdef").contains(text[digits]) &&
               (base == 16 || (text[digits] >= '0' && text[digits] <= '9')))
            ++digits;
        bool ok = false;
        const int value = text.sliced(end + 1, digits - end - 1).toInt(&ok, base);
        if (!ok || (base == 16 && digits - end != 3) || value < (base == 16 ? 0 : 1) || value > most)
            return std::nullopt;
        end = digits;
        return value;
    };
    const std::optional<int> index = field('c', 10, 16);
    const std::optional<int> count = field('d', 10, 16);
    if (!index || !count || *count < 2 || *index > *count)
        return QStringLiteral("bQ: D takes the symbol's number c and the count d (2 to 16), as Dc01d02p3A");
    f->symbolIndex = *index;
    f->symbolCount = *count;
    if (end < text.size() && text[end] == 'p') {
        const std::optional<int> parity = field('p', 16, 255);
        if (!parity)
            return QStringLiteral("bQ: the parity p of D is 2 hexadecimal digits");
        f->parity = *parity;
    }
    *rest = text.first(at).toByteArray() + text.sliced(end).toByteArray();
    return QString();
}

Epl2Command matrixCommand(QByteArrayView rest)
{
    const qsizetype quote = rest.indexOf('"');
    const qsizetype variable = quote < 0 ? rest.lastIndexOf(',') : -1;
    const qsizetype dataAt = quote >= 0 ? quote : (variable >= 0 ? variable + 1 : -1);
    if (dataAt < 0)
        return notUnderstood(QStringLiteral("b takes X, Y, the code type, its options and the data"));
    const QList<QByteArrayView> p = splitParameters(rest.first(dataAt), 4);
    if (p.size() < 3)
        return notUnderstood(QStringLiteral("b takes X, Y, the code type, its options and the data"));
    Epl2Command result;
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
    if (type.startsWith("AZ"))
        return notUnderstood(QStringLiteral("Aztec Mesa (bAZ, an Aztec symbol joined to a bar code) is not drawn"));
    if (type.size() > 1 && (type[0] == 'Q' || type[0] == 'A')) {
        optionText = rest.sliced(p[0].size() + p[1].size() + 3, dataAt - (p[0].size() + p[1].size() + 3));
        type = type.first(1);
    }
    if (type.size() != 1 || !QByteArrayView("DQPMA").contains(type[0]))
        return notUnderstood(
            QStringLiteral("b draws D (Data Matrix), Q (QR Code), P (PDF417), M (MaxiCode) or A (Aztec)"));
    f.type = type[0];
    if ((f.type == 'Q' || f.type == 'A') && optionText.startsWith(','))
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
    if (f.type == 'M') {
        // The symbol's number in its set of associated symbols and their count, "x,y" after the mode.
        const QList<QByteArray> parts = optionText.toByteArray().split(',');
        const qsizetype n = parts.size();
        const std::optional<int> index = n >= 2 ? wholeNumber(parts[n - 2], 1, 8) : std::nullopt;
        const std::optional<int> count = n >= 2 ? wholeNumber(parts[n - 1], 1, 8) : std::nullopt;
        if (index && count) {
            if (*index > *count)
                return notUnderstood(
                    QStringLiteral("bM: symbol %1 of %2 is no symbol of the set").arg(*index).arg(*count));
            f.symbolIndex = *index;
            f.symbolCount = *count;
            optionText = optionText.first(std::max<qsizetype>(0, optionText.size() - parts[n - 2].size() -
                                                                     parts[n - 1].size() - (n > 2 ? 2 : 1)));
        }
    }
    QByteArray qrOptions; // Q's options but D, whose sub-options do not follow the letter-and-number pattern
    if (f.type == 'Q' && optionText.contains('D')) {
        const QString why = structuredAppend(optionText, &f, &qrOptions);
        if (!why.isEmpty())
            return notUnderstood(why);
        optionText = qrOptions;
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
        } else if (f.type == 'A') {
            // d and e take a number; f, m and r stand alone or take 1 (on) or 0 (off).
            ok = true;
            const bool on = o.value.isEmpty() || (n && *n == 1);
            if (o.letter == 'd' && in(1, 55))
                f.module = *n;
            else if (o.letter == 'e' && (in(0, 99) || in(101, 104) || in(201, 232) || in(300, 300)))
                f.errorLevel = *n;
            else if (o.letter == 'f' && (o.value.isEmpty() || in(0, 1)))
                f.flags = on;
            else if (o.letter == 'm' && (o.value.isEmpty() || in(0, 1)))
                f.menu = on;
            else if (o.letter == 'r' && (o.value.isEmpty() || in(0, 1)))
                f.inverse = on;
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
    const QString why = fieldData(rest.sliced(dataAt), &f.source, &f.text, &f.number, kMaxFieldBytes);
    if (!why.isEmpty())
        return notUnderstood(QStringLiteral("the data of b") + why);
    return result;
}

} // namespace epl2
