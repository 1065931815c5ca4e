// What the printer's window library offers to quorlex-label-printer.
#include "printer/printer_window_host.h"
#include "printer_window/frm_printer.h"

#include <QApplication>

namespace {

QGuiApplication* createApplication(int& argc, char** argv, QString* failure)
{
    // Without a platform named and without a display, QApplication would end the program.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        *failure = QStringLiteral("there is no screen to show it on (neither DISPLAY nor WAYLAND_DISPLAY is set)");
        return nullptr;
    }
    return new QApplication(argc, argv);
}

QObject* openWindow(PrinterWindowHost& host)
{
    auto* window = new Frm_Printer(host);
    window->show();
    return window;
}

constexpr PrinterWindowEntry kEntry{kPrinterWindowVersion, &createApplication, &openWindow};

} // namespace

extern "C" __attribute__((visibility("default"))) const PrinterWindowEntry* quorlex_label_printer_window_entry()
{
    return &kEntry;
}
