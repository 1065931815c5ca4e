#include "batch/preview_library.h"

#include "common/optional_library.h"

namespace {

constexpr OptionalLibrary kPreviewLibrary{kPreviewLibraryFile,
                                          kPreviewLibraryVariable,
                                          kPreviewLibraryEntryName,
                                          kPreviewLibraryVersion,
                                          "pictures",
                                          "libQt6Gui.so",
                                          "libqt6gui6"};

} // namespace

const PreviewLibraryEntry* previewLibrary(QString* failure)
{
    return loadOptionalEntry<PreviewLibraryEntry>(kPreviewLibrary, failure);
}
