#pragma once

#include "printer/label_printer.h"
#include "printer/printer_window_host.h"

// The window library, loaded for --window; null with `failure` set to what is missing and the package to
// install.
const PrinterWindowEntry* loadPrinterWindow(QString* failure);

// The printer as its window sees it.
class PrinterHost final : public PrinterWindowHost
{
public:
    explicit PrinterHost(LabelPrinter& printer) : m_printer(printer) {}
    ~PrinterHost() override;

    void setListeningOn(const QStringList& where) { m_listening = where; }

    QStringList listeningOn() const override { return m_listening; }
    QString outFolder() const override { return m_printer.options().outDir; }
    int dpi() const override { return m_printer.options().dpi; }
    int scale() const override { return m_printer.options().scale; }
    PrinterFault fault() const override { return m_printer.fault(); }
    void setFault(PrinterFault fault) override { m_printer.setFault(fault); }
    int storedForms() const override { return m_printer.storedForms(); }
    int storedGraphics() const override { return m_printer.storedGraphics(); }
    int storedSoftFonts() const override { return m_printer.storedSoftFonts(); }
    void forgetStored() override { m_printer.forgetStored(); }
    void setEventListener(PrinterLog::Listener listener) override;
    void setLabelListener(LabelListener listener) override;

private:
    LabelPrinter& m_printer;
    QStringList m_listening;
};

// A drawn label's fields in words, bounded however many it has: "field 1 "ITEM1" at x 10 to 57, y 20 to 31".
QString labelFieldsInWords(const RenderedLabel& label);
