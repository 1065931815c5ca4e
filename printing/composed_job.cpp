#include "printing/composed_job.h"

#include "printing/safe_text.h"

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
