#include "output/port_devices.h"

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
    return mappedOr(kCom1Variable, kCom1Device);
}

QString parallelPortAddress()
{
    return mappedOr(kLpt1Variable, "/dev/lp0");
}

QString printerPortName(PrinterPort port)
{
    return port == PrinterPort::Com1 ? QStringLiteral("COM1") : QStringLiteral("LPT");
}

QString printerPortDevice(PrinterPort port)
{
    return port == PrinterPort::Com1 ? QStringLiteral("COM1") : QStringLiteral("LPT1");
}

std::optional<PrinterPort> printerPortNamed(const QString& name)
{
    for (const PrinterPort port : kPrinterPorts) {
        if (name == printerPortName(port))
            return port;
    }
    return std::nullopt;
}

QString printerPortAddress(PrinterPort port)
{
    return port == PrinterPort::Com1 ? serialDevicePath(1) : parallelPortAddress();
}
