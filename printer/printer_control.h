#pragma once

#include <QByteArray>
#include <QObject>

class LabelPrinter;
class QSocketNotifier;

// Lines read from a file descriptor (standard input) that set and clear the printer's fault: head-open,
// paper-out, paused or ok, one a line. Any other line is logged as a problem; a line is never held beyond
// 4 KB. When the input closes, the fault stays as it is.
class PrinterControl : public QObject
{
public:
    PrinterControl(LabelPrinter& printer, int fd);
    ~PrinterControl() override;

private:
    void readSome();

    LabelPrinter& m_printer;
    int m_fd;
    QSocketNotifier* m_notifier;
    QByteArray m_pending;
};
