#include "printing/entry_rules.h"

#include "printing/presets.h"

int fullLength(LabelField field, LabelSize size)
{
    const SizePreset& preset = presetFor(size);
    const bool cut = field == LabelField::Item || field == LabelField::Version;
    // Data and Checksum are empty and disabled under the sizes that do not print them, so they never fill.
    return cut && preset.cutItemAndVersionTo > 0 ? preset.cutItemAndVersionTo : kFieldBoxMaxLength;
}

std::optional<LabelField> nextField(LabelField field, LabelSize size)
{
    switch (field) {
    case LabelField::Item:
        return LabelField::Version;
    case LabelField::Version:
        if (presetFor(size).dataAndChecksumUsed)
            return LabelField::Data;
        return std::nullopt;
    case LabelField::Data:
        return LabelField::Checksum;
    case LabelField::Checksum:
        break;
    }
    return std::nullopt;
}
