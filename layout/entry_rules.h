#pragma once

#include "printing/label_settings.h"

enum class EntryBox { Item, Version, Data, Checksum, Quantity };

// The four field boxes (Item, Version, Data, Checksum) hold at most this many characters; the stored form
// declares its variables with the same width.
inline constexpr int kFieldBoxMaxLength = 6;

// The length at which a field box counts as full under a size (compared for equality).
int fullLength(EntryBox box, LabelSize size);

// The box the focus moves to when a field box becomes full or Enter is typed in it.
EntryBox nextBox(EntryBox box, LabelSize size);
