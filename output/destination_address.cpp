#include "output/cups_library.h"
#include "output/destination.h"
#include "output/device_destination.h"
#include "output/port_devices.h"
#include "output/serial_destination.h"
#include "output/socket_destination.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

QString destinationName(const QString& name, const QString& address)
{
    const QString shown = visibleForMessage(address);
    return name.isEmpty() ? shown : QStringLiteral("%1 (%2)").arg(name, shown);
}

std::unique_ptr<Destination> createDestination(const QString& address, const QString& name, QString* error)
{
    const QString shown = destinationName(name, address);
    if (address.startsWith(QLatin1String("socket://"), Qt::CaseInsensitive)) {
        SocketAddress socket;
        const QString why = parseSocketAddress(address, &socket);
        if (!why.isEmpty()) {
            *error = why;
            return nullptr;
        }
        // A host name up to 253 characters long is named in every message: cut as a value is.
        if (socket.host.size() > kShownValueLength)
            return std::make_unique<SocketDestination>(
                socket, destinationName(name, QStringLiteral("socket://%1").arg(socket.shown())));
        return std::make_unique<SocketDestination>(socket, shown);
    }
    if (isCupsAddress(address))
        return createCupsDestination(address, shown, error);
    if (address.isEmpty()) {
        *error = QStringLiteral("no printer is named (the address is empty)");
        return nullptr;
    }
    if (isTerminalDevice(address))
        return std::make_unique<SerialDestination>(address, shown);
    return std::make_unique<DeviceDestination>(address, shown);
}

bool isTerminalDevice(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::stat(native.constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    // Pseudo-terminal slaves (Unix 98 majors 136 to 143) and every device the kernel files under the tty
    // class are terminals, whether or not this user may open them.
    const unsigned deviceMajor = major(info.st_rdev);
    if (deviceMajor >= 136 && deviceMajor <= 143)
        return true;
    const QString subsystem =
        QFile::symLinkTarget(QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(deviceMajor).arg(minor(info.st_rdev)));
    if (!subsystem.isEmpty())
        return subsystem.endsWith(QLatin1String("/tty"));
    // No sysfs: ask the device itself.
    int fd = ::open(native.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        fd = ::open(native.constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal;
}

std::unique_ptr<Destination> printerPortDestination(PrinterPort port, SerialPort* control, QString* error)
{
    if (port == PrinterPort::Lpt)
        return createDestination(parallelPortAddress(), printerPortDevice(port), error);
    const QString path = serialDevicePath(1);
    const QString name = destinationName(printerPortDevice(port), path);
    if (control)
        return std::make_unique<SerialDestination>(*control, name);
    return std::make_unique<SerialDestination>(path, name);
}
