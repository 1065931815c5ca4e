// Settings and the print: Q, P, I, R and O (the single-number settings D, S, q and i are read by the table).
#include "render/epl2_syntax.h"

#include "render/code_pages.h"
#include "render/message_words.h"

#include <algorithm>
#include <cctype>

namespace {

// An option of O: a letter and up to 7 letters or digits after it.
constexpr int kMaxOptionLength = 8;

} // namespace

namespace epl2 {

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

Epl2Command lengthCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 4);
    if (p.size() < 2 || p.size() > 3)
        return notUnderstood(QStringLiteral("Q takes the label length, the gap and an optional offset"));
    Epl2Command result = number(Epl2Command::Length, p[0], 1, kMaxLabelDots, "the label length of Q");
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

Epl2Command printCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 3);
    if (p.size() > 2)
        return notUnderstood(QStringLiteral("P takes the number of labels and an optional number of copies"));
    Epl2Command result = number(Epl2Command::Print, p[0], 1, 65535, "the number of labels of P");
    if (result.error.isEmpty() && p.size() == 2) {
        const std::optional<int> copies = wholeNumber(p[1], 1, 65535);
        if (!copies)
            return notUnderstood(QStringLiteral("the copies of P are a whole number from 1 to 65535"));
        result.copies = *copies;
    }
    return result;
}

Epl2Command codePageCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 4);
    if (p.size() < 2 || p.size() > 3 || (p.size() == 3 && !wholeNumber(p[2], 0, 999)))
        return notUnderstood(QStringLiteral("I takes 8 or 7, the code page and an optional country code"));
    if (p[0] == "7") {
        Epl2Command result;
        result.kind = Epl2Command::CodePage;
        result.value = nationalSetOf(p[1]);
        if (result.value == 0)
            return notUnderstood(
                QStringLiteral("the 7-bit national set %1 is not drawn (0 to 8 are)").arg(printableExcerpt(p[1], 4)));
        return result;
    }
    if (p[0] != "8")
        return notUnderstood(QStringLiteral("I takes 8 (8-bit data) or 7 (7-bit data) first"));
    const int page = codePageOf(p[1]);
    if (page == 0)
        return notUnderstood(
            QStringLiteral("code page %1 is not drawn (0 to 13 and A to F are)").arg(printableExcerpt(p[1], 4)));
    Epl2Command result;
    result.kind = Epl2Command::CodePage;
    result.value = page;
    return result;
}

Epl2Command referenceCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 3);
    const std::optional<int> x = p.size() == 2 ? wholeNumber(p[0], 0, kMaxLabelDots) : std::nullopt;
    const std::optional<int> y = p.size() == 2 ? wholeNumber(p[1], 0, kMaxLabelDots) : std::nullopt;
    if (!x || !y)
        return notUnderstood(QStringLiteral("R takes the reference X and Y, 0 to %1").arg(kMaxLabelDots));
    Epl2Command result;
    result.kind = Epl2Command::Reference;
    result.numbers[0] = *x;
    result.numbers[1] = *y;
    return result;
}

// O and its hardware options, kept as written: C (cutter: Cb, or a count), D (direct thermal), P, L, F with a
// letter, S, and the options of other models (d, N, D with a number, ...), none of which changes the picture.
Epl2Command optionsCommand(QByteArrayView rest)
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
    Epl2Command result;
    result.kind = Epl2Command::Options;
    result.data = rest.toByteArray();
    return result;
}

} // namespace epl2
