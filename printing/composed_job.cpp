#include "printing/composed_job.h"

#include "common/safe_text.h"

std::optional<UnprintableCharacter> firstUnprintable(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' || c == u'\n')
            return UnprintableCharacter{JobProblem::LineBreak, c};
        if (c > 0x7F) {
            char32_t codePoint = c;
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                codePoint = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            return UnprintableCharacter{JobProblem::OutsideAscii, codePoint};
        }
        if (c < 0x20 || c == 0x7F)
            return UnprintableCharacter{JobProblem::ControlCharacter, c};
    }
    return std::nullopt;
}

bool isWholeNumberIn(QStringView text, WholeNumberRange range)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value >= range.lowest && value <= range.highest;
}

bool isQuantity(QStringView text)
{
    return isWholeNumberIn(text, kQuantityRange);
}

QString rangeText(WholeNumberRange range)
{
    return QStringLiteral("%1 to %2").arg(QString::number(range.lowest), QString::number(range.highest));
}

QString notInRange(QStringView value, WholeNumberRange range)
{
    return QStringLiteral("%1 is not a whole number from %2").arg(quotedForMessage(value), rangeText(range));
}

QString faultSubject(const JobFault& fault)
{
    if (fault.field)
        return fieldHeading(*fault.field);
    switch (fault.setting) {
    case JobSetting::Darkness:
        return QStringLiteral("Darkness");
    case JobSetting::Gap:
        return QStringLiteral("Gap");
    case JobSetting::Quantity:
        return QStringLiteral("Quantity");
    case JobSetting::ItemY:
        return fieldHeading(LabelField::Item) + QStringLiteral(" Y position");
    case JobSetting::VersionY:
        return fieldHeading(LabelField::Version) + QStringLiteral(" Y position");
    case JobSetting::ItemXOffset:
        return fieldHeading(LabelField::Item) + QStringLiteral(" X offset");
    case JobSetting::ItemYOffset:
        return fieldHeading(LabelField::Item) + QStringLiteral(" Y offset");
    case JobSetting::VersionXOffset:
        return fieldHeading(LabelField::Version) + QStringLiteral(" X offset");
    case JobSetting::VersionYOffset:
        break;
    }
    return fieldHeading(LabelField::Version) + QStringLiteral(" Y offset");
}

QString faultProblem(const JobFault& fault)
{
    switch (fault.problem) {
    case JobProblem::LineBreak:
        return QStringLiteral("contains a line break");
    case JobProblem::OutsideAscii:
        return QStringLiteral("contains a character outside ASCII (%1)").arg(codePointName(fault.character));
    case JobProblem::ControlCharacter:
        return QStringLiteral("contains a control character (%1)").arg(codePointName(fault.character));
    case JobProblem::NotAQuantity:
        return notInRange(fault.value, kQuantityRange);
    case JobProblem::NotANumber:
        return QStringLiteral("not a number");
    case JobProblem::OutOfRange:
        return QStringLiteral("out of range");
    case JobProblem::TooLargeAfterShift:
        return QStringLiteral("too large after adding %1").arg(fault.shift);
    case JobProblem::NotFinite:
        break;
    }
    return QStringLiteral("not a finite number");
}

QString describeFault(const JobFault& fault)
{
    return faultSubject(fault) + QStringLiteral(": ") + faultProblem(fault);
}

QString printedFieldName(const PrintedField& printed)
{
    if (printed.copy == 0)
        return fieldName(printed.field);
    return QStringLiteral("%1 (copy %2)").arg(fieldName(printed.field)).arg(printed.copy);
}

std::optional<PrintedField> ComposedJob::fieldOnLine(int line) const
{
    for (const PrintedField& printed : fields) {
        if (printed.line == line)
            return printed;
    }
    return std::nullopt;
}
