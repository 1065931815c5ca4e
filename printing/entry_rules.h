#pragma once

#include "printing/label_field.h"
#include "printing/label_settings.h"

#include <optional>

// The four field boxes hold at most this many characters; the stored form declares its variables with the
// same width.
inline constexpr int kFieldBoxMaxLength = 6;

// The length at which a field's box counts as full under a size (compared for equality): the preset's cut
// for Item and Version where it has one, otherwise the box's whole width.
int fullLength(LabelField field, LabelSize size);

// The field box the focus moves to when a field's box becomes full or Enter is typed in it; none when it
// moves on to the quantity box.
std::optional<LabelField> nextField(LabelField field, LabelSize size);
