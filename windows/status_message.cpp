#include "windows/status_message.h"

#include <QMessageBox>

namespace {

PrinterStatusSink& currentSink()
{
    static PrinterStatusSink sink;
    return sink;
}

} // namespace

void showPrinterStatus(QWidget* parent, const QString& text, bool fault)
{
    if (const PrinterStatusSink& sink = currentSink()) {
        sink(parent, text, fault);
        return;
    }
    QMessageBox box(parent);
    box.setIcon(fault ? QMessageBox::Warning : QMessageBox::Information);
    box.setWindowTitle(QStringLiteral("Printer Status"));
    // Addresses and the printer's words come from outside: never taken for formatting.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void setPrinterStatusSink(PrinterStatusSink sink)
{
    currentSink() = std::move(sink);
}
