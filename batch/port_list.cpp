#include "batch/port_list.h"

#include "common/safe_text.h"
#include "output/cups_library.h"
#include "output/serial_library.h"

#include <QCollator>
#include <QDir>

#include <algorithm>

namespace {

struct PortLine
{
    QString form;
    QString what;
};

// The device files in `folder` whose names match `pattern`, in natural order (lp2 before lp10).
QStringList devicesIn(const QString& folder, const QString& pattern)
{
    const QDir dir(folder);
    QStringList names = dir.entryList({pattern}, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), collator);
    QStringList paths;
    for (const QString& name : std::as_const(names))
        paths << dir.filePath(name);
    return paths;
}

} // namespace

PortList listPorts(const DestinationTimeouts& timeouts, const WaitControl& wait)
{
    QList<PortLine> ports;
    PortList list;
    QString error;
    if (std::optional<QList<SerialPortListing>> serial = listSerialPorts(&error)) {
        QCollator collator;
        collator.setNumericMode(true);
        std::sort(serial->begin(), serial->end(), [&](const SerialPortListing& a, const SerialPortListing& b) {
            return collator.compare(a.location, b.location) < 0;
        });
        for (const SerialPortListing& port : std::as_const(*serial))
            ports.append({safeMessageLine(port.location, 120), port.description});
    } else {
        list.notes << QStringLiteral("serial ports are not listed: %1").arg(error);
    }
    for (const QString& path : devicesIn(QStringLiteral("/dev/usb"), QStringLiteral("lp*")))
        ports.append({safeMessageLine(path, 120), QStringLiteral("USB printer device")});
    for (const QString& path : devicesIn(QStringLiteral("/dev"), QStringLiteral("lp*")))
        ports.append({safeMessageLine(path, 120), QStringLiteral("parallel printer device")});

    if (!loadCupsLibrary(&error)) {
        list.notes << QStringLiteral("CUPS queues are not listed: %1").arg(error);
    } else if (const std::optional<QList<CupsQueueListing>> queues = listCupsQueueNames(timeouts, wait, &error)) {
        for (const CupsQueueListing& queue : *queues)
            ports.append({QStringLiteral("cups:") + queue.name, QStringLiteral("CUPS queue: ") + queue.description});
    } else {
        list.notes << QStringLiteral("no CUPS server answered, so no CUPS queue is listed (%1)").arg(error);
    }

    qsizetype width = 0;
    for (const PortLine& port : std::as_const(ports))
        width = std::max(width, port.form.size());
    width = std::min<qsizetype>(width, 24);
    for (const PortLine& port : std::as_const(ports))
        list.lines << port.form.leftJustified(width) + QLatin1String("  ") + port.what;
    return list;
}
