#include "printing/label_preset_settings.h"

#include "printing/presets.h"

#include <array>
#include <cstdlib>

LabelPositions startUpPositions()
{
    return applyPresetPositions(presetFor(LabelSize::M3), LabelPositions{});
}

QString axisName(Axis axis)
{
    return axis == Axis::X ? QStringLiteral("X") : QStringLiteral("Y");
}

PresetSettings presetSettings(LabelSize size, const QList<FieldNudge>& nudges)
{
    const SizePreset& preset = presetFor(size);
    PresetSettings result;
    LabelSettings& settings = result.settings;
    settings.size = size;
    settings.gap = QString::fromLatin1(preset.gap);
    settings.positions = applyPresetPositions(preset, startUpPositions());

    // The eight offset panels, by field and axis, as the preset leaves them.
    PerField<std::array<QString, 2>> captions;
    for (auto& row : captions)
        row[0] = row[1] = QStringLiteral("0");

    for (const FieldNudge& each : nudges) {
        const QString where = fieldName(each.field) + QLatin1Char(' ') + axisName(each.axis);
        const bool dataOrChecksum = each.field == LabelField::Data || each.field == LabelField::Checksum;
        if (dataOrChecksum && !preset.dataAndChecksumUsed) {
            return PresetSettings{LabelSettings{}, QStringLiteral("%1: the %2 size does not print the %3 field")
                                                       .arg(where, labelSizeName(size), fieldName(each.field))};
        }
        QString& caption = captions[each.field][int(each.axis)];
        const NudgeBounds bounds = nudgeBounds(each.field, each.axis);
        const qint64 target = qint64(textToInt16(caption).value_or(0)) + each.offset;
        if (target < bounds.lowest || target > bounds.highest) {
            return PresetSettings{LabelSettings{}, QStringLiteral("%1: offset %2 is outside %3 to %4")
                                                       .arg(where, plainDecimal(target), plainDecimal(bounds.lowest),
                                                            plainDecimal(bounds.highest))};
        }
        const int step = each.offset < 0 ? -1 : 1;
        for (int click = 0; click < std::abs(each.offset); ++click) {
            const std::optional<NudgeResult> moved = nudge(each.field, each.axis, step, caption, settings.positions);
            if (!moved)
                return PresetSettings{LabelSettings{},
                                      QStringLiteral("%1: the position cannot move further").arg(where)};
            caption = moved->caption;
            settings.positions = moved->positions;
        }
    }

    settings.ItemXOffset = captions[LabelField::Item][int(Axis::X)];
    settings.ItemYOffset = captions[LabelField::Item][int(Axis::Y)];
    settings.VerXOffset = captions[LabelField::Version][int(Axis::X)];
    settings.VerYOffset = captions[LabelField::Version][int(Axis::Y)];
    return result;
}
