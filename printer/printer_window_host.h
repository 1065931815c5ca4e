#pragma once

#include "printer/printer_log.h"
#include "printer/printer_options.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

class QGuiApplication;
class QObject;

// What the printer's window sees of the printer and does to it. The window lives in a library of its own
// (QtWidgets with it), loaded only for --window; the program hands it this, so that the library carries no
// copy of the printer.
class PrinterWindowHost
{
public:
    virtual ~PrinterWindowHost() = default;

    // Where the printer takes jobs: "127.0.0.1:9100", "serial line /tmp/printer"; empty when it only draws
    // files (--render).
    virtual QStringList listeningOn() const = 0;
    // The folder the pictures are written into.
    virtual QString outFolder() const = 0;
    // The printer's resolution in dots per inch, and pixels per dot in the pictures.
    virtual int dpi() const = 0;
    virtual int scale() const = 0;

    virtual PrinterFault fault() const = 0;
    virtual void setFault(PrinterFault fault) = 0;
    virtual int storedForms() const = 0;
    virtual int storedGraphics() const = 0;
    virtual int storedSoftFonts() const = 0;
    virtual void forgetStored() = 0;

    // Every event the printer logs ("label", "problem", "stream", "end", "fault", ...) with its fields;
    // null stops that.
    virtual void setEventListener(PrinterLog::Listener listener) = 0;
    // Every label drawn, before it is logged: its number, its fields in words ("field 1 "ITEM1" at x 10 to 57,
    // y 20 to 31") and the fields that run past an edge (in dots, as far as they go); null stops that.
    using LabelListener =
        std::function<void(quint64 number, const QString& fieldsInWords, const QList<QRect>& pastEdges)>;
    virtual void setLabelListener(LabelListener listener) = 0;
};

// What the window library offers; it and the program are built together, and `version` tells a stale copy.
struct PrinterWindowEntry
{
    int version;
    // The application, with widgets; null with `failure` set when there is no screen to show them on.
    QGuiApplication* (*createApplication)(int& argc, char** argv, QString* failure);
    // Opens the window on `host`, which must outlive it; the caller deletes it before the application.
    QObject* (*openWindow)(PrinterWindowHost& host);
};
inline constexpr int kPrinterWindowVersion = 1;
inline constexpr char kPrinterWindowEntryName[] = "quorlex_label_printer_window_entry";
inline constexpr char kPrinterWindowFile[] = "libquorlex-label-printer-window.so";
// A path to load in place of the library beside the output library (tests, a library built elsewhere).
inline constexpr char kPrinterWindowVariable[] = "QUORLEX_LABEL_PRINTER_WINDOW_LIBRARY";
