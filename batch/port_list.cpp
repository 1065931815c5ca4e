#include "batch/port_list.h"

#include "output/cups_library.h"
#include "output/safe_text.h"

#include <QCollator>
#include <QDir>
#include <QSerialPortInfo>

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

QString serialDescription(const QSerialPortInfo& port)
{
    QStringList parts;
    for (const QString& part : {port.description(), port.manufacturer()}) {
        if (!part.trimmed().isEmpty() && !parts.contains(part.trimmed()))
            parts << safeMessageLine(part.trimmed(), 80);
    }
    return parts.isEmpty() ? QStringLiteral("serial port")
                           : QStringLiteral("serial port: %1").arg(parts.join(QLatin1String(", ")));
}

} // namespace

PortList listPorts(const DestinationTimeouts& timeouts, const WaitControl& wait)
{
    QList<PortLine> ports;
    QList<QSerialPortInfo> serial = QSerialPortInfo::availablePorts();
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(serial.begin(), serial.end(), [&](const QSerialPortInfo& a, const QSerialPortInfo& b) {
        return collator.compare(a.systemLocation(), b.systemLocation()) < 0;
    });
    for (const QSerialPortInfo& port : std::as_const(serial))
        ports.append({safeMessageLine(port.systemLocation(), 120), serialDescription(port)});
    for (const QString& path : devicesIn(QStringLiteral("/dev/usb"), QStringLiteral("lp*")))
        ports.append({safeMessageLine(path, 120), QStringLiteral("USB printer device")});
    for (const QString& path : devicesIn(QStringLiteral("/dev"), QStringLiteral("lp*")))
        ports.append({safeMessageLine(path, 120), QStringLiteral("parallel printer device")});

    PortList list;
    QString error;
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
