// Text: A, the variables (V) and counters (C) of stored forms, and soft fonts (ES, EK, EI).
#include "render/epl2_syntax.h"

#include "render/soft_fonts.h"

namespace epl2 {

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

Epl2Command textCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 8);
    if (p.size() != 8)
        return notUnderstood(QStringLiteral("A takes X, Y, rotation, font, two multipliers, N or R, and the data"));
    Epl2Command result;
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
        {&f.rotation, 0, 7, "the rotation"},
        {&f.font, 1, 9, "the font"},
        {&f.widthTimes, 1, 8, "the horizontal multiplier"},
        {&f.heightTimes, 1, 9, "the vertical multiplier"},
    };
    if (isSoftFontName(p[3]))
        f.softFont = p[3][0];
    for (int i = 0; i < 6; ++i) {
        if (i == 3 && f.softFont != 0)
            continue;
        const std::optional<int> value = wholeNumber(p[i], numbers[i].lowest, numbers[i].highest);
        if (!value)
            return notUnderstood(QStringLiteral("%1 of A is a whole number from %2 to %3")
                                     .arg(QLatin1String(numbers[i].what))
                                     .arg(numbers[i].lowest)
                                     .arg(numbers[i].highest));
        *numbers[i].target = *value;
    }
    const bool asian = f.font == 8 || f.font == 9;
    if (f.font > 5 && !asian)
        return notUnderstood(QStringLiteral("the font of A is a whole number from 1 to 5, or 8 or 9 (Asian)"));
    if (f.rotation > 3 && !asian)
        return notUnderstood(
            QStringLiteral("the rotation of A is a whole number from 0 to 3 (4 to 7 with fonts 8 and 9)"));
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

Epl2Command variableCommand(QByteArrayView rest)
{
    const QList<QByteArrayView> p = splitParameters(rest, 4);
    const std::optional<int> which = p.size() >= 3 ? wholeNumber(p[0], 0, 99) : std::nullopt;
    const std::optional<int> length = p.size() >= 3 ? wholeNumber(p[1], 1, 99) : std::nullopt;
    const std::optional<Justify> justify = p.size() >= 3 ? justification(p[2]) : std::nullopt;
    if (!which || p[0].size() != 2 || !length || !justify || !isPrompt(p, 3))
        return notUnderstood(QStringLiteral("a variable is Vnn (00 to 99), its length 1 to 99, L, R, C or N, "
                                            "and a quoted prompt"));
    Epl2Command result;
    result.kind = Epl2Command::Variable;
    result.number = *which;
    result.value = *length;
    result.justify = *justify;
    return result;
}

Epl2Command counterCommand(QByteArrayView rest)
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
    Epl2Command result;
    result.kind = Epl2Command::Counter;
    result.number = *which;
    result.value = *digits;
    result.justify = *justify;
    result.step = *step;
    return result;
}

// ES"name" (its data follows, read by the stream), EK"name" or EK"*".
Epl2Command softFontCommand(Epl2Command::Kind kind, QByteArrayView rest)
{
    const bool deletes = kind == Epl2Command::FontDelete;
    const QByteArrayView name = rest.size() >= 2 && rest.startsWith('"') && rest.endsWith('"')
                                    ? rest.sliced(1, rest.size() - 2)
                                    : QByteArrayView();
    if (!isSoftFontName(name) && !(deletes && name == "*"))
        return notUnderstood(deletes
                                 ? QStringLiteral("EK takes a soft font's quoted letter, a to z or A to Z, or \"*\"")
                                 : QStringLiteral("ES takes a quoted letter, a to z or A to Z, and the font's data"));
    Epl2Command result;
    result.kind = kind;
    result.name = name.toByteArray();
    return result;
}

} // namespace epl2
