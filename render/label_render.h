#pragma once

#include "render/label_types.h"

#include <QByteArrayView>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>

// Pictures of the labels an EPL2 job prints, drawn from the job's own bytes.
//
// How the job is read:
// - Positions are printer dots from the top left corner of the label; X runs across the label (width from
//   q), Y along it (length from the first value of Q).
// - A text field's characters sit in cells of 8x12, 10x16, 12x20, 14x24 or 32x48 dots (fonts 1 to 5),
//   widened and heightened by the two multipliers, side by side without space between them.
// - Rotation turns the whole field clockwise about its X,Y point in quarter turns: 0 reads left to right
//   with X,Y at the top left of the first cell; 1 reads downwards with the tops of the letters facing right,
//   so the field lies left of X and below Y; 2 is upside down, left of X and above Y; 3 reads upwards with
//   the tops facing left, right of X and above Y.
// - R (reverse) prints the field's cells black and the letters white.
// - A with a letter as its font draws the soft font stored by that name with ES (soft_fonts.h): each
//   character's dots enlarged by the multipliers, its spacing apart, turned like any field.
// - Stored forms: FS"name" to FE store the lines between them, FK"name" deletes, FR"name" recalls. The "?"
//   line after FR is followed by one data line per variable (V00, V01, ... in order of number) and then one
//   per counter (C0, C1, ...). A value longer than its variable is cut to its length; C and R justification
//   pad the value with blanks to that length (centring puts the odd blank on the right). A counter prints
//   the number of its data line on the first label and steps once per label; it keeps the width of that
//   number (leading zeros included) and rolls over past its number of digits.
// - P prints its labels; copies repeat a label without stepping counters.
//
// - B draws a bar code: bars and spaces in whole dots, narrow and wide from the command (codes of one to four
//   module widths take the narrow width per module), the bars as high as the command says, turned like text;
//   B under it the human-readable text in font 1 to 4 by the narrow width, 2 dots below the bars.
// - b draws Data Matrix (modules of h dots inside a quiet zone of one module), QR Code (s dots), PDF417 (the
//   widest module of x down to 2 dots that fits the most dots across and along, rows 4 modules high unless y
//   says; centred on X,Y unless f0) and MaxiCode (hexagons 7 dots wide in rows 6 dots apart).
// - LO, LW and LE set, clear and invert a rectangle; X draws a box whose outer edge runs from X,Y to the end
//   X,Y (both included) with lines of the thickness inward; LS draws a line from X,Y to the end X,Y whose
//   every column (every row when steep) is the thickness long from the line down (right).
// - GW and GG print the black (0 bits) of a picture, leaving its white dots as they were.
// - R moves every later position by its X and Y; ZB turns the whole label half a turn; I chooses the code
//   page fonts 1 to 5 draw bytes above 0x7F from (437 until then), or a 7-bit national set that puts national
//   letters at a few ASCII positions.
//
// Letters are drawn with a monospace font scaled into each cell: where they go is exact to the dot, their
// shapes are only like the printer's.

// Where a LabelStream puts what it prints and what it could not read, as it goes.
class LabelSink
{
public:
    virtual ~LabelSink() = default;
    virtual void label(RenderedLabel&& label) = 0;
    virtual void note(const JobNote& note) = 0;
    // Offered every command line before the stream reads it (never the bytes of binary data); true when the
    // printer has carried it out itself (status queries, replies on the line), so the stream skips it.
    virtual bool printerCommand(QByteArrayView /*line*/, int /*lineNumber*/) { return false; }
};

// Reads a stream of EPL2 bytes as they arrive, as a printer does: each command is carried out when its line
// end has arrived, and each label is handed to the sink when its P line is read. Lines are numbered from 1
// across the whole stream. Needs a QGuiApplication (the platform may be offscreen); used on its thread.
class LabelStream
{
public:
    LabelStream(PrinterMemory& memory, const RenderOptions& options, LabelSink& sink);
    ~LabelStream();
    LabelStream(const LabelStream&) = delete;
    LabelStream& operator=(const LabelStream&) = delete;

    // Not empty: the options are wrong or no font could be had, and nothing will be read.
    QString error() const { return m_error; }

    void feed(QByteArrayView bytes);
    // The stream has ended: a last line without its line end is carried out, and a form or data left
    // unfinished is noted.
    void finish();

    quint64 labelsPrinted() const;
    int lines() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
    QString m_error;
};

// Reads and draws the job. Needs a QGuiApplication (the platform may be offscreen) for the font; called on
// its thread.
RenderResult renderJob(const QByteArray& job, const RenderOptions& options = RenderOptions());

// "left", "top", "right" or "bottom".
QString edgeName(LabelEdge edge);

// "field 2 "V1" (job line 7)" or "field 1 "AB1234" (job line 15, form FIXEDAT0)", printable and bounded.
QString describeField(const RenderedLabel& label, int field);

// "field 1 "ABC" (job line 6) runs 6 dots past the bottom edge"
QString describeOverrun(const RenderedLabel& label, const EdgeOverrun& overrun);
// "X box (job line 9) runs 1 dot past the right edge"
QString describeOverrun(const ShapeOverrun& overrun);
