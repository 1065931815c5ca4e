#include "printer/printer_options.h"

#include "common/safe_text.h"
#include "protocol/epl2_status.h"
#include "render/asian_text.h"
#include "render/label_render.h"

#include <limits>

namespace {

bool wholeNumber(const QString& text, int low, int high, int* value)
{
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (!ok || text.startsWith(QLatin1Char('+')) || number < low || number > high)
        return false;
    *value = int(number);
    return true;
}

// "[ADDRESS:]PORT"; an IPv6 address goes in brackets: [::1]:9100.
QString readListen(const QString& text, PrinterOptions* options)
{
    QString host;
    QString port = text;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        host = text.left(colon);
        port = text.mid(colon + 1);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
    }
    int number = 0;
    if (!wholeNumber(port, 0, 65535, &number))
        return QStringLiteral("--listen: %1 is not [ADDRESS:]PORT with a port from 0 to 65535")
            .arg(quotedForMessage(text));
    options->port = quint16(number);
    if (!host.isEmpty()) {
        // Only a numeric address: the printer never looks a name up.
        QHostAddress address;
        if (!address.setAddress(host))
            return QStringLiteral("--listen: %1 is not a numeric IPv4 or IPv6 address").arg(quotedForMessage(host));
        options->address = address;
    }
    return QString();
}

} // namespace

namespace {

// Each fault: its name on the command line and in the log, what it means to an operator, and the error code ^ee
// reports while it lasts.
struct FaultFacts
{
    PrinterFault fault;
    const char* name;
    const char* meaning;
    int errorCode;
};

constexpr FaultFacts kFaults[] = {
    {PrinterFault::None, "ok", "ready", kNoError},
    {PrinterFault::HeadOpen, "head-open", "the print head is open", kHeadUp},
    {PrinterFault::PaperOut, "paper-out", "the paper or ribbon is out", kPaperOrRibbonEmpty},
    {PrinterFault::Paused, "paused", "the printer is paused", kPaused},
};

const FaultFacts& factsOf(PrinterFault fault)
{
    for (const FaultFacts& each : kFaults) {
        if (each.fault == fault)
            return each;
    }
    return kFaults[0];
}

} // namespace

QString faultName(PrinterFault fault)
{
    return QLatin1String(factsOf(fault).name);
}

QString faultMeaning(PrinterFault fault)
{
    return QLatin1String(factsOf(fault).meaning);
}

int faultErrorCode(PrinterFault fault)
{
    return factsOf(fault).errorCode;
}

bool faultFromName(const QString& name, PrinterFault* fault)
{
    for (const FaultFacts& each : kFaults) {
        if (name == QLatin1String(each.name)) {
            *fault = each.fault;
            return true;
        }
    }
    return false;
}

QString parsePrinterOptions(const QStringList& arguments, PrinterOptions* options)
{
    bool listenGiven = false;
    bool renderGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString option = arguments.at(i);
        QString value;
        bool inlineValue = false;
        if (option.startsWith(QLatin1String("--")) && option.contains(QLatin1Char('='))) {
            value = option.mid(option.indexOf(QLatin1Char('=')) + 1);
            option = option.left(option.indexOf(QLatin1Char('=')));
            inlineValue = true;
        }
        const auto takeValue = [&](QString* out) {
            if (inlineValue) {
                *out = value;
                return true;
            }
            if (i + 1 >= arguments.size())
                return false;
            *out = arguments.at(++i);
            return true;
        };
        const auto needs = [&](const QString& what) { return QStringLiteral("%1 needs %2").arg(option, what); };
        if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
            options->help = true;
        } else if (option == QLatin1String("--version")) {
            options->version = true;
        } else if (option == QLatin1String("--listen")) {
            if (!takeValue(&value))
                return needs(QStringLiteral("[ADDRESS:]PORT"));
            const QString problem = readListen(value, options);
            if (!problem.isEmpty())
                return problem;
            listenGiven = true;
        } else if (option == QLatin1String("--serial")) {
            if (!takeValue(&value) || value.isEmpty())
                return needs(QStringLiteral("the path of the link to make"));
            options->serialLink = value;
        } else if (option == QLatin1String("--wire-speed")) {
            options->wireSpeed = true;
        } else if (option == QLatin1String("--render")) {
            renderGiven = true;
            if (inlineValue) {
                options->renderFiles << value;
            } else {
                while (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--")))
                    options->renderFiles << arguments.at(++i);
            }
            if (options->renderFiles.isEmpty())
                return needs(QStringLiteral("at least one job file"));
        } else if (option == QLatin1String("--out")) {
            if (!takeValue(&value) || value.isEmpty())
                return needs(QStringLiteral("the folder to write the pictures into"));
            options->outDir = value;
        } else if (option == QLatin1String("--memory")) {
            if (!takeValue(&value) || value.isEmpty())
                return needs(QStringLiteral("the folder that keeps the printer's memory"));
            options->memoryDir = value;
        } else if (option == QLatin1String("--max-labels")) {
            if (!takeValue(&value) || !wholeNumber(value, 0, std::numeric_limits<int>::max(), &options->maxLabels))
                return QStringLiteral("--max-labels: %1 is not a whole number from 0").arg(quotedForMessage(value));
        } else if (option == QLatin1String("--scale")) {
            if (!takeValue(&value) || !wholeNumber(value, 1, kMaxRenderScale, &options->scale))
                return QStringLiteral("--scale: %1 is not a whole number from 1 to %2")
                    .arg(quotedForMessage(value))
                    .arg(kMaxRenderScale);
        } else if (option == QLatin1String("--log")) {
            if (!takeValue(&value) || (value != QLatin1String("text") && value != QLatin1String("json")))
                return QStringLiteral("--log: %1 is not text or json").arg(quotedForMessage(value));
            options->jsonLog = value == QLatin1String("json");
        } else if (option == QLatin1String("--idle-timeout")) {
            if (!takeValue(&value) || !wholeNumber(value, 1, 24 * 3600, &options->idleSeconds))
                return QStringLiteral("--idle-timeout: %1 is not a whole number of seconds from 1 to 86400")
                    .arg(quotedForMessage(value));
        } else if (option == QLatin1String("--window")) {
            options->window = true;
        } else if (option == QLatin1String("--pdf")) {
            options->pdf = true;
        } else if (option == QLatin1String("--dpi")) {
            if (!takeValue(&value) || (value != QLatin1String("203") && value != QLatin1String("300")))
                return QStringLiteral("--dpi: %1 is not 203 or 300").arg(quotedForMessage(value));
            options->dpi = value.toInt();
        } else if (option == QLatin1String("--asian")) {
            const std::optional<AsianLanguage> language =
                takeValue(&value) ? asianLanguageNamed(value) : std::optional<AsianLanguage>();
            if (!language)
                return QStringLiteral("--asian: %1 is not korean, japanese, simplified-chinese or traditional-chinese")
                    .arg(quotedForMessage(value));
            options->asian = *language;
        } else if (option == QLatin1String("--fault")) {
            if (!takeValue(&value) || !faultFromName(value, &options->fault) || options->fault == PrinterFault::None)
                return QStringLiteral("--fault: %1 is not head-open, paper-out or paused").arg(quotedForMessage(value));
        } else {
            return QStringLiteral("unknown option %1 (see --help)").arg(quotedForMessage(option));
        }
    }
    if (options->help || options->version)
        return QString();
    if (options->outDir.isEmpty() && !options->window)
        return QStringLiteral("--out needs the folder to write the pictures into");
    if (renderGiven && (listenGiven || !options->serialLink.isEmpty()))
        return QStringLiteral("--render draws files and does not listen: leave out --listen and --serial");
    if (options->wireSpeed && options->serialLink.isEmpty())
        return QStringLiteral("--wire-speed is only used with --serial");
    options->listen = !renderGiven && (listenGiven || options->serialLink.isEmpty());
    return QString();
}

QString printerUsage()
{
    return QStringLiteral(
        "Usage: quorlex-label-printer --out DIR [--listen [ADDRESS:]PORT] [--serial LINK [--wire-speed]]\n"
        "                             [--memory DIR] [options]\n"
        "       quorlex-label-printer --window [--out DIR] [options]\n"
        "       quorlex-label-printer --render FILE... --out DIR [options]\n"
        "A virtual EPL2 label printer: it receives jobs like a real one, draws every label as a PNG picture\n"
        "and answers status queries. With --window it shows every label as it arrives.\n"
        "\n"
        "Options:\n"
        "  --listen [ADDRESS:]PORT  take jobs on this TCP port, one connection at a time (default\n"
        "                           127.0.0.1:9100; another address only when given; port 0 takes a\n"
        "                           free port, which the log names)\n"
        "  --serial LINK            take jobs on a pseudo-terminal, with LINK a symbolic link to it\n"
        "  --wire-speed             read the serial line at 9600 baud (960 bytes a second)\n"
        "  --render FILE...         draw these job files and end, without listening\n"
        "  --out DIR                write label-000001.png, ... and stream-000001.epl, ... into DIR\n"
        "  --memory DIR             keep stored forms, graphics, soft fonts and settings in DIR across restarts\n"
        "  --max-labels N           pictures drawn at most for one P line; the rest are counted (default 1000)\n"
        "  --scale N                pixels per printer dot in the pictures, 1 to 16 (default 1)\n"
        "  --log text|json          log lines as text (default) or as JSON lines\n"
        "  --idle-timeout SECONDS   close a connection that sends nothing this long (default 60)\n"
        "  --fault NAME             start with a fault: head-open, paper-out or paused\n"
        "  --window                 show the labels in a window as they arrive; without --out they go into\n"
        "                           a folder of the printer's own, named in the window\n"
        "  --pdf                    also write label-000001.pdf, ... beside the pictures, each one page the\n"
        "                           label's size\n"
        "  --dpi 203|300            the printer's resolution, for the size of the PDF pages (default 203)\n"
        "  --asian LANGUAGE         the character set of the Asian fonts 8 and 9: korean, japanese,\n"
        "                           simplified-chinese or traditional-chinese (default: none, and A with\n"
        "                           font 8 or 9 is not understood)\n"
        "  --help                   show this help and end\n"
        "  --version                show the version and end\n"
        "\n"
        "Standard input: a line head-open, paper-out, paused or ok sets or clears the fault.\n"
        "\n"
        "Exit status:\n"
        "  0    ended by Ctrl-C or SIGTERM, or every --render file was drawn\n"
        "  2    the command line is wrong\n"
        "  3    the folder, port or link could not be had, a file could not be read, or the window could not\n"
        "       be shown\n"
        "  130  --render was stopped by Ctrl-C or SIGTERM before it drew every file\n");
}
