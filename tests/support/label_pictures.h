#pragma once

#include "printing/label_preset_settings.h"
#include "render/label_render.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QStringList>

// Checks on label pictures drawn at one pixel per dot, black (0) on white (255).

// The smallest rectangle holding every black pixel of `image` inside `within` (the whole image when null);
// null when there is none.
QRect blackBounds(const QImage& image, const QRect& within = QRect());

// How many black pixels `image` has inside `area`.
int blackPixels(const QImage& image, const QRect& area);

// Whether every pixel is pure black or pure white.
bool onlyBlackAndWhite(const QImage& image);

// The cell of character `index` among `count` characters whose cells make up `cells`, taken in reading
// order for the rotation (0 left to right, 1 top to bottom, 2 right to left, 3 bottom to top).
QRect characterCell(const QRect& cells, int rotation, int index, int count);

// The job the window sends for `size` (and five-across) after start-up, with the nudges made and the texts
// item, version, data, checksum typed (missing ones empty).
QByteArray presetJob(LabelSize size, bool fiveAcross, const QStringList& texts = {},
                     const QList<FieldNudge>& nudges = {});

// A picture as rows of '#' (black) and '.' (white), for exact comparisons that read as the label looks.
QStringList artOf(const QImage& image);

// A job of one label 800 dots square: `before`, then `line`, then P1.
QByteArray codeJob(const QByteArray& line, const QByteArray& before = QByteArray());

// The one label of a job, which must be understood in full (what is not is printed as a warning); a null
// label otherwise.
struct RenderedLabel;
RenderedLabel onlyLabelOf(const QByteArray& job, const RenderOptions& options = RenderOptions());

// A 1-bit PCX file of the picture given as art ('#' prints), run-length encoded as paint programs write it.
QByteArray pcxFile(const QStringList& art);

// ES"name" and its data: p1, p2 and p3, then each character as its bytes (position, spacing, width, rows).
QByteArray softFontStore(char name, int characters, int sets, int height, const QList<QList<int>>& glyphs);
// A font "f" 3 dots high: 'A' (#.# .#. ###, spacing 4), 'B' (## .. .#, spacing 3) and 'C' (8 dots wide, its rows
// the bytes LF, CR and NUL), stored with ES and a line end.
QByteArray softFontF();

// Collects what a label stream prints and notes, and every command line it offers the printer (taking none).
struct Collected final : LabelSink
{
    QList<RenderedLabel> labels;
    QList<JobNote> notes;
    QList<QByteArray> offered;
    void label(RenderedLabel&& label) override { labels << std::move(label); }
    void note(const JobNote& note) override { notes << note; }
    bool printerCommand(QByteArrayView line, int) override
    {
        offered << line.toByteArray();
        return false;
    }
};
