#pragma once

#include "printing/job_kind.h"
#include "printing/label_settings.h"

#include <QString>

// One label size's preset: everything choosing that size writes.
struct SizePreset
{
    LabelSize size;
    const char* name;         // "1M": what the batch and messages call the size
    const char* caption;      // caption of the option button that applies it
    bool dataAndChecksumUsed; // Data and Checksum boxes and their position controls enabled
    int cutItemAndVersionTo;  // 0: texts kept; otherwise cut to this many characters
    JobKind job;              // the job this size prints
    JobKind fiveAcrossJob;    // the job with the five-across box ticked; `job` where the size has none
    const char* gap;
    qint16 ItemX;
    const char* ItemY;
    qint16 VerX;
    qint16 VerY;
    // Data and Checksum positions; written only when dataAndChecksumUsed.
    qint16 DataX;
    qint16 DataY;
    qint16 ChksumX;
    qint16 ChksumY;
    qint16 LabelLength;
};

// The five sizes in the order the window lists them.
extern const SizePreset kSizePresets[5];

const SizePreset& presetFor(LabelSize size);

// Whether the size prints a five-across job when its box is ticked.
inline bool hasFiveAcross(const SizePreset& preset)
{
    return preset.fiveAcrossJob != preset.job;
}

// The positions after applying a preset to the given positions (Data and Checksum kept for 1M and 2M).
LabelPositions applyPresetPositions(const SizePreset& preset, const LabelPositions& before);

// Parses a preset's name, "1M" to "9M" (case and surrounding blanks do not matter); LabelSize::None otherwise.
LabelSize labelSizeFromName(const QString& name);
QString labelSizeName(LabelSize size);
