#include "layout/entry_rules.h"

#include "layout/presets.h"

int fullLength(EntryBox box, LabelSize size)
{
    switch (box) {
    case EntryBox::Item:
    case EntryBox::Version:
        return size == LabelSize::M1 ? 3 : 6;
    case EntryBox::Data:
    case EntryBox::Checksum:
        return 6; // under 1M and 2M these boxes are empty and disabled, so they never get there
    case EntryBox::Quantity:
        break;
    }
    return 0;
}

EntryBox nextBox(EntryBox box, LabelSize size)
{
    switch (box) {
    case EntryBox::Item:
        return EntryBox::Version;
    case EntryBox::Version:
        return presetFor(size).dataAndChecksumUsed ? EntryBox::Data : EntryBox::Quantity;
    case EntryBox::Data:
        return EntryBox::Checksum;
    case EntryBox::Checksum:
    case EntryBox::Quantity:
        break;
    }
    return EntryBox::Quantity;
}
