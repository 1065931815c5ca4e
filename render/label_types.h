#pragma once

#include "render/code_pages.h"
#include "render/epl2_command.h"
#include "render/render_limits.h"
#include "render/soft_fonts.h"

#include <QByteArrayView>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>

// What a drawn label is made of and what the drawing keeps between jobs.

enum class LabelEdge { Left, Top, Right, Bottom };

// One printed field of a label.
struct RenderedField
{
    int line = 0; // the job line of its A command
    QString form; // the stored form the A command came from; empty for a direct field
    QString text; // the characters printed, justification blanks included (bytes as Latin-1)
    QRect cells;  // every character cell of the field, in dots
    QRect ink;    // the cells of the characters that print (all of them when reversed); empty when none
    bool reverse = false;
};

// A field whose ink runs past an edge of the label.
struct EdgeOverrun
{
    int field = 0; // index into RenderedLabel::fields
    LabelEdge edge = LabelEdge::Left;
    int dots = 0; // how far past the edge
};

// A line, box or graphic whose dots run past an edge of the label.
struct ShapeOverrun
{
    QString what; // "LO line", "X box", "GW graphic", ...
    int line = 0; // the job line of its command
    QString form; // the stored form it came from; empty when direct
    LabelEdge edge = LabelEdge::Left;
    int dots = 0;
};

struct RenderedLabel
{
    quint64 number = 0; // 1 for the first label of the job (of the stream)
    int line = 0;       // the job line of the P that printed it
    QSize dots;         // the label's width and length in dots
    QImage image;       // Format_Grayscale8, only black (0) and white (255), `scale` pixels per dot
    QList<RenderedField> fields;
    QList<EdgeOverrun> overruns;       // edges named as the label reads, before any turn by ZB
    QList<ShapeOverrun> shapeOverruns; // the same for lines, boxes and graphics
};

// A line of the job that was not understood or could not be carried out.
struct JobNote
{
    int line = 0; // 1 for the first line of the job
    QString text; // says what and why; printable ASCII only, bounded in length
};

struct RenderOptions
{
    int scale = 1;                             // pixels per dot, 1 to kMaxRenderScale
    int maxLabels = 1;                         // labels drawn at most; the rest are counted only
    int maxLabelsPerPrint = 0;                 // labels drawn at most for one P line; 0 sets no bound of its own
    AsianLanguage asian = AsianLanguage::None; // the character set of fonts 8 and 9; without one they are refused
};

// A command line longer than this is not read: it is noted and skipped to its line end, so that a stream
// without line ends cannot make the reader hold more.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;

struct RenderResult
{
    QList<RenderedLabel> labels; // the first maxLabels labels
    quint64 labelsPrinted = 0;   // every label the job prints
    QList<JobNote> notUnderstood;
    QString error; // not empty: nothing could be drawn (no font, no QGuiApplication, bad options)
};

// A line of a stored form as it was received, with its line number in the stream that stored it.
struct StoredLine
{
    QByteArray text;
    int line = 0;
};

// The settings that last until a command changes them.
struct PrinterSettings
{
    std::optional<int> width;        // q
    std::optional<int> length;       // Q
    QByteArray gap = "24";           // Q, as written: dots of gap, or B and the dots of a black mark
    int offset = 0;                  // Q
    int density = 10;                // D
    int speed = 3;                   // S
    int codePage = kDefaultCodePage; // I8: 437, 850, 1252, ...; I7: a national set, as nationalSet gives it
    QPoint reference;                // R
    bool bottomFirst = false;        // ZB (true) or ZT
    QByteArray formBackup = "F";     // JF, JB or JC: which top of form backup is on
    QByteArray options;              // O, as written
    int asianSpacing = 0;            // i: dots between the characters of fonts 8 and 9
};

// What a printer keeps from one job to the next: its stored forms and its settings. A whole job drawn by
// renderJob starts from an empty memory; a printer keeps one for its life.
struct PrinterMemory
{
    QHash<QByteArray, QList<StoredLine>> forms;
    PrinterSettings settings;
    // Steps whenever the stored forms, graphics or soft fonts change, for whoever keeps them on disk.
    quint64 generation = 0;
    // Graphics stored with GM, by name: Format_Grayscale8, black (0) where they print, white (255) elsewhere.
    QHash<QByteArray, QImage> graphics;
    // Soft fonts stored with ES, by their one-letter name.
    QHash<QByteArray, SoftFont> softFonts;
};

// What the stored graphics may take together, in dots (one picture as large as the largest label); a GM
// beyond it is refused.
inline constexpr qint64 kMaxStoredGraphicDots = qint64(8192) * 8192;
// What all stored forms together may take, in bytes of their lines.
inline constexpr qint64 kMaxFormsBytes = 16 * 1024 * 1024;

// The bytes of the lines of every stored form, as kMaxFormsBytes counts them.
qint64 storedFormBytes(const PrinterMemory& memory);
// The dots of every stored graphic, as kMaxStoredGraphicDots counts them.
qint64 storedGraphicDots(const PrinterMemory& memory);
// The bytes of every stored soft font's data, as kMaxSoftFontBytes counts them.
qint64 storedSoftFontBytes(const PrinterMemory& memory);
// Stores the picture of the PCX file GM"name" sent, replacing one of that name; empty, or why it was refused.
QString storeGraphic(PrinterMemory& memory, const QByteArray& name, const QByteArray& pcx);
// Stores the font the data of ES"name" holds, replacing one of that name; empty, or why it was refused.
QString storeSoftFont(PrinterMemory& memory, const QByteArray& name, const QByteArray& data);
// FK, GK and EK: deletes what `name` names, or everything for "*".
template <typename Stored> void forget(QHash<QByteArray, Stored>& stored, const QByteArray& name, PrinterMemory& memory)
{
    if (name == "*")
        stored.clear();
    else
        stored.remove(name);
    ++memory.generation;
}
// The most fields, lines, boxes and graphics one label takes; more are refused, so that a stream of drawing
// commands without P cannot make the reader hold more.
inline constexpr int kMaxLabelItems = 20000;
