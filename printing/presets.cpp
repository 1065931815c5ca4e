#include "printing/presets.h"

#include <iterator>

// clang-format off
const SizePreset kSizePresets[5] = {
    // size          name  caption                 D&C    cut  job                  with five-across             gap     ItemX ItemY VerX VerY DataX DataY ChkX ChkY Len
    {LabelSize::M1, "1M", " 1M :  5 * 7 M/M",     false, 3,   JobKind::OneM,       JobKind::OneM,               "20.8", 32,   "10", 17,  10,  0,    0,    0,   0,   41},
    {LabelSize::M2, "2M", " 2M :  5 * 15 M/M",    false, 0,   JobKind::TwoM,       JobKind::TwoMFiveAcross,     "8",    30,   "16", 15,  16,  0,    0,    0,   0,   86},
    {LabelSize::M3, "3M", " 3M :  8 * 10 M/M",    true,  0,   JobKind::StoredForm, JobKind::StoredForm,         "12",   100,  "0",  85,  0,   70,   0,    55,  0,   86},
    {LabelSize::M6, "6M", " 6M : 12 * 12 M/M ",   true,  0,   JobKind::StoredForm, JobKind::StoredForm,         "18",   113,  "0",  93,  0,   73,   0,    53,  0,   100},
    {LabelSize::M9, "9M", " 9M : 10 * 18 M/M",    true,  0,   JobKind::StoredForm, JobKind::StoredForm,         "18",   110,  "20", 95,  20,  80,   20,   65,  20,  144},
};
// clang-format on

const SizePreset& presetFor(LabelSize size)
{
    for (const SizePreset& preset : kSizePresets) {
        if (preset.size == size)
            return preset;
    }
    return kSizePresets[2]; // no size selected: the stored-form size the program starts with
}

LabelPositions applyPresetPositions(const SizePreset& preset, const LabelPositions& before)
{
    LabelPositions after = before;
    after.ItemX = preset.ItemX;
    after.ItemY = QString::fromLatin1(preset.ItemY);
    after.VerX = preset.VerX;
    after.VerY = preset.VerY;
    if (preset.dataAndChecksumUsed) {
        after.DataX = preset.DataX;
        after.DataY = preset.DataY;
        after.ChksumX = preset.ChksumX;
        after.ChksumY = preset.ChksumY;
    }
    after.LabelLength = preset.LabelLength;
    return after;
}

LabelSize labelSizeFromName(const QString& name)
{
    const QString wanted = name.trimmed();
    for (const SizePreset& preset : kSizePresets) {
        if (wanted.compare(QLatin1String(preset.name), Qt::CaseInsensitive) == 0)
            return preset.size;
    }
    return LabelSize::None;
}

QString labelSizeName(LabelSize size)
{
    return size == LabelSize::None ? QString() : QString::fromLatin1(presetFor(size).name);
}
