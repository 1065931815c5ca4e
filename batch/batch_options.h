#pragma once

#include "output/port_devices.h"
#include "printing/composed_job.h"
#include "printing/label_preset_settings.h"
#include "printing/label_settings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Labels of one run at most: past this many CSV rows with a label the file is refused. Each checked label
// is kept in at most about 40 bytes until its job is composed, so this bounds what a run holds to some 80 MB.
inline constexpr qsizetype kMaxLabels = 2000000;

inline constexpr WholeNumberRange kDarknessRange{0, 15};

// The largest gap --gap takes, in dots: what EPL2 printers accept as the gap of their Q command.
inline constexpr int kMaxGapDots = 240;

// A label column of a CSV file, which is also a label option: one of the four label fields, or the quantity.
struct LabelColumn
{
    std::optional<LabelField> field; // empty: the quantity
    friend constexpr bool operator==(const LabelColumn& a, const LabelColumn& b) { return a.field == b.field; }
    friend constexpr bool operator!=(const LabelColumn& a, const LabelColumn& b) { return !(a == b); }
};
inline constexpr LabelColumn kQuantityColumn{};
inline constexpr LabelColumn kLabelColumns[] = {
    {LabelField::Item}, {LabelField::Version}, {LabelField::Data}, {LabelField::Checksum}, kQuantityColumn};

// The field's column name or "qty": the CSV header names and, with "--" before them, the options.
QString columnName(LabelColumn column);
// The column a CSV header names (case and surrounding blanks do not matter), if any.
std::optional<LabelColumn> columnFromName(const QString& name);

struct BatchOptions
{
    LabelSize size = LabelSize::None;
    bool fiveAcross = false;
    QString darkness = QStringLiteral("8");
    QString quantity = QStringLiteral("1"); // for the label from options, and CSV rows with no quantity
    QString gap;                            // the preset's gap unless given
    QList<FieldNudge> nudges;

    // Either one label from the options or a CSV file ("-" for standard input).
    QString csvPath;
    PerField<QString> texts; // the texts of the label from options
    bool fromCsv() const { return !csvPath.isEmpty(); }

    // Where the jobs go: one of the window's ports as the window maps it, or when empty, devicePath (a device,
    // a file or any address createDestination() takes).
    std::optional<PrinterPort> port = PrinterPort::Com1;
    QString devicePath;
    bool dryRun = false;
    // --verify: asks the printer after the run (on a serial line, has it report every fault during the run).
    bool verify = false;

    // --preview: pictures of the labels into this folder instead of sending anything.
    QString previewDir;
    int previewScale = 1; // pixels per printer dot
    bool preview() const { return !previewDir.isEmpty(); }
};

// What the command line asks for: options to run with, the help or version text to print, or a usage error.
struct ParsedCommandLine
{
    BatchOptions options;
    QString error;          // a usage error, one line
    QString message;        // --help or --version: the text for standard output
    bool listPorts = false; // --list-ports: list what --port takes, and send nothing
    bool status = false;    // --status: ask the printer of --port, and send nothing
};

// Reads the arguments (without the program name) and checks everything that does not depend on the labels:
// the size, darkness 0 to 15, quantity 1 to 65535, a gap of 0 to 240 dots, nudges within the window's
// bounds and on fields the size prints, --five-across only with 2M, no label options together with --csv,
// --preview-scale 1 to 16 and only with --preview, --preview not with --dry-run.
ParsedCommandLine parseCommandLine(const QStringList& arguments);

// Parses "item-x=+2,ver-y=-3" (fields item, ver or version, data, checksum; axes x and y); fields of one
// list may not repeat. Empty when `error` was set.
QList<FieldNudge> parseNudges(const QString& text, QString* error);
