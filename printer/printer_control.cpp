#include "printer/printer_control.h"

#include "common/safe_text.h"
#include "printer/label_printer.h"

#include <QSocketNotifier>

#include <unistd.h>

namespace {
constexpr qsizetype kMaxLine = 4096;
}

PrinterControl::PrinterControl(LabelPrinter& printer, int fd)
    : m_printer(printer), m_fd(fd), m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &PrinterControl::readSome);
}

PrinterControl::~PrinterControl() = default;

void PrinterControl::readSome()
{
    char buffer[4096];
    const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
    if (got <= 0) {
        m_notifier->setEnabled(false); // closed: the fault stays as it is
        return;
    }
    m_pending.append(buffer, got);
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromLatin1(m_pending.left(end)).trimmed();
        m_pending.remove(0, end + 1);
        PrinterFault fault;
        if (line.isEmpty())
            continue;
        if (faultFromName(line, &fault))
            m_printer.setFault(fault);
        else
            m_printer.problem(0, 0,
                              QStringLiteral("standard input: %1 is not head-open, paper-out, paused or ok")
                                  .arg(quotedForMessage(line)));
    }
    if (m_pending.size() > kMaxLine)
        m_pending.clear();
}
