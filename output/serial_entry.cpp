// What the serial library offers to the programs that load it.
#include "common/safe_text.h"
#include "output/qserialport_line.h"
#include "output/serial_library.h"

#include <QSerialPortInfo>

namespace {

SerialLine* createLine()
{
    return new QSerialPortLine;
}

QString describe(const QSerialPortInfo& port)
{
    QStringList parts;
    for (const QString& part : {port.description(), port.manufacturer()}) {
        if (!part.trimmed().isEmpty() && !parts.contains(part.trimmed()))
            parts << safeMessageLine(part.trimmed(), 80);
    }
    return parts.isEmpty() ? QStringLiteral("serial port")
                           : QStringLiteral("serial port: %1").arg(parts.join(QLatin1String(", ")));
}

QList<SerialPortListing> listPorts()
{
    QList<SerialPortListing> ports;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        ports.append({port.systemLocation(), describe(port)});
    return ports;
}

constexpr SerialLibraryEntry kEntry{kSerialLibraryVersion, &createLine, &listPorts};

} // namespace

extern "C" __attribute__((visibility("default"))) const SerialLibraryEntry* quorlex_label_serial_entry()
{
    return &kEntry;
}
