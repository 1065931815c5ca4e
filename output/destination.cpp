#include "output/destination.h"

#include "output/cups_library.h"
#include "output/device_destination.h"
#include "output/safe_text.h"
#include "output/serial_destination.h"
#include "output/socket_destination.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <unistd.h>

std::chrono::milliseconds DestinationTimeouts::transfer(qint64 bytes) const
{
    const qint64 blocks = (std::max<qint64>(bytes, 0) + 10239) / 10240;
    return transferBase + transferPer10KB * blocks;
}

bool Destination::open()
{
    return step("opening", doOpen());
}

bool Destination::send(const QByteArray& job)
{
    return step("sending to", doSend(job));
}

bool Destination::confirm()
{
    return step("sending to", doConfirm());
}

bool Destination::close()
{
    return step("closing", doClose());
}

void Destination::pump() const
{
    if (wait_.pump)
        wait_.pump();
}

bool Destination::stopRequested()
{
    if (!wait_.stopRequested || !wait_.stopRequested())
        return false;
    stopped_ = true;
    return true;
}

const QString& Destination::stoppedReason()
{
    static const QString reason = QStringLiteral("stopped before the job had gone");
    return reason;
}

bool Destination::step(const char* what, const QString& reason)
{
    if (reason.isEmpty()) {
        stopped_ = false;
        return true;
    }
    error_ = QStringLiteral("%1 %2: %3").arg(QLatin1String(what), name_, reason);
    return false;
}

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

QString makeFolder(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return QStringLiteral("it is not a folder");
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    return error ? QString::fromLocal8Bit(error.message()) : QString();
}

QString secondsText(std::chrono::milliseconds ms)
{
    // Whole milliseconds written out without floating point: "10", "0.5", "2.25".
    const qint64 count = ms.count();
    const qint64 whole = count / 1000;
    qint64 thousandths = count % 1000;
    QString text = QString::number(whole);
    if (thousandths == 0)
        return text;
    if (count < 0 && whole == 0)
        text.prepend(QLatin1Char('-'));
    thousandths = thousandths < 0 ? -thousandths : thousandths;
    QString fraction = QString::number(thousandths).rightJustified(3, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    return text + QLatin1Char('.') + fraction;
}

void ignoreBrokenPipes()
{
    struct sigaction action
    {
    };
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}
