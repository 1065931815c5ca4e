#include "printing/port_devices.h"

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
