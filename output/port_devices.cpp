#include "output/port_devices.h"

#include "output/destination.h"
#include "output/serial_destination.h"

#include <QtGlobal>

namespace {

QString mappedOr(const char* variable, const char* fallback)
{
    const QString mapped = qEnvironmentVariable(variable);
    return mapped.isEmpty() ? QString::fromLatin1(fallback) : mapped;
}

} // namespace

QString serialDevicePath(int port)
{
    if (port != 1)
        return {};
    return mappedOr(kCom1Variable, "/dev/ttyS0");
}

QString parallelPortAddress()
{
    return mappedOr(kLpt1Variable, "/dev/lp0");
}

std::unique_ptr<Destination> com1Destination(SerialPort* control)
{
    const QString path = serialDevicePath(1);
    const QString name = destinationName(QStringLiteral("COM1"), path);
    if (control)
        return std::make_unique<SerialDestination>(*control, name);
    return std::make_unique<SerialDestination>(path, name);
}

std::unique_ptr<Destination> lpt1Destination(QString* error)
{
    return createDestination(parallelPortAddress(), QStringLiteral("LPT1"), error);
}
