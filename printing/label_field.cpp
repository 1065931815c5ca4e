#include "printing/label_field.h"

namespace {

// clang-format off
const LabelFieldNames kNames[] = {
    // heading     name        column      nudge
    {"Item",     "Item",     "item",     nullptr},
    {"Version",  "Version",  "version",  "ver"},
    {"Date",     "Data",     "data",     nullptr},
    {"Checksum", "Checksum", "checksum", nullptr},
};
// clang-format on
static_assert(std::size(kNames) == std::size(kLabelFields), "one row of names per label field");

} // namespace

const LabelFieldNames& namesOf(LabelField field)
{
    return kNames[std::size_t(field)];
}

QString fieldHeading(LabelField field)
{
    return QString::fromLatin1(namesOf(field).heading);
}

QString fieldName(LabelField field)
{
    return QString::fromLatin1(namesOf(field).name);
}

QString fieldColumn(LabelField field)
{
    return QString::fromLatin1(namesOf(field).column);
}

std::optional<LabelField> fieldFromNudgeName(const QString& name)
{
    for (LabelField field : kLabelFields) {
        const LabelFieldNames& names = namesOf(field);
        if (name == QLatin1String(names.column) || (names.nudge && name == QLatin1String(names.nudge)))
            return field;
    }
    return std::nullopt;
}
