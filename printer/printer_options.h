#pragma once

#include "render/epl2_command.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

// What the printer is told on its command line.

// A printer's stopping conditions, as an operator causes them.
enum class PrinterFault { None, HeadOpen, PaperOut, Paused };

// "head-open", "paper-out", "paused" or "ok".
QString faultName(PrinterFault fault);
// What the fault means to an operator: "the print head is open", ... or "ready".
QString faultMeaning(PrinterFault fault);
// The error code ^ee reports while the fault lasts (0 for none).
int faultErrorCode(PrinterFault fault);
// The fault a name (as above) stands for; false when the name is none of them.
bool faultFromName(const QString& name, PrinterFault* fault);

inline constexpr int kDefaultPort = 9100;
inline constexpr int kDefaultMaxLabels = 1000;
inline constexpr int kDefaultIdleSeconds = 60;

struct PrinterOptions
{
    bool listen = false; // TCP: on unless only --serial is given
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = kDefaultPort;
    QString serialLink;
    bool wireSpeed = false;
    QStringList renderFiles; // --render: draw these and end
    QString outDir;
    QString memoryDir;
    int maxLabels = kDefaultMaxLabels;
    int scale = 1;
    bool jsonLog = false;
    int idleSeconds = kDefaultIdleSeconds;
    PrinterFault fault = PrinterFault::None;
    bool pdf = false;                          // a PDF beside each picture
    int dpi = 203;                             // the resolution a label's physical size is worked out from, for the PDF
    AsianLanguage asian = AsianLanguage::None; // the character set of fonts 8 and 9; none refuses them
    bool window = false;
    bool help = false;
    bool version = false;
};

// Reads the arguments after the program name; the first problem found, empty when there is none. With --window
// and no --out, `outDir` is left empty for the program to choose.
QString parsePrinterOptions(const QStringList& arguments, PrinterOptions* options);

// --help
QString printerUsage();

// Exit statuses.
inline constexpr int kPrinterExitOk = 0;
inline constexpr int kPrinterExitUsage = 2;
inline constexpr int kPrinterExitFailed = 3; // the folder, port or link could not be had; a file could not be read
inline constexpr int kPrinterExitInterrupted = 130; // --render stopped by Ctrl-C or SIGTERM before its last file
