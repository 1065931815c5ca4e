#include "output/serial_library.h"

#include "common/optional_library.h"

namespace {

constexpr OptionalLibrary kSerialLibrary{kSerialLibraryFile,    kSerialLibraryVariable, kSerialLibraryEntryName,
                                         kSerialLibraryVersion, "serial ports",         "libQt6SerialPort.so",
                                         "libqt6serialport6"};

} // namespace

std::unique_ptr<SerialLine> createSerialLine(QString* error)
{
    const SerialLibraryEntry* library = loadOptionalEntry<SerialLibraryEntry>(kSerialLibrary, error);
    return library ? std::unique_ptr<SerialLine>(library->createLine()) : nullptr;
}

std::optional<QList<SerialPortListing>> listSerialPorts(QString* error)
{
    const SerialLibraryEntry* library = loadOptionalEntry<SerialLibraryEntry>(kSerialLibrary, error);
    if (!library)
        return std::nullopt;
    return library->listPorts();
}
