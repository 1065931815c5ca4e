#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The longest side of a label the drawing takes, in dots (about a metre at 203 dots per inch).
inline constexpr int kMaxLabelDots = 8192;

// One EPL2 command line of a job, read without looking at what came before it. Only the commands the label
// program sends are known; everything else is an error that names what is wrong.

// How a variable or counter places its value in its field of fixed width.
enum class Justify { Left, Right, Centre, None };

// Where the characters of an A line come from.
enum class TextSource { Quoted, Variable, Counter };

struct TextField
{
    int x = 0;
    int y = 0;
    int rotation = 0; // 0 to 3: quarter turns clockwise
    int font = 1;     // 1 to 5
    int widthTimes = 1;
    int heightTimes = 1;
    bool reverse = false;
    TextSource source = TextSource::Quoted;
    QByteArray text; // the quoted text with its escapes undone
    int number = 0;  // the variable (V00..V99) or counter (C0..C9)
};

struct Epl2Command
{
    enum Kind {
        Blank,       // an empty line
        Clear,       // N
        Density,     // D0..D15
        Speed,       // S
        Width,       // q
        Length,      // Q length,gap[,offset]
        Options,     // O (no options)
        Text,        // A
        Print,       // P labels[,copies]
        FormDelete,  // FK"name" ("*" deletes every form)
        FormStore,   // FS"name"
        FormEnd,     // FE
        FormRecall,  // FR"name"
        DataFollows, // ?
        Variable,    // Vnn,length,justification,"prompt"
        Counter,     // Cn,digits,justification,step,"prompt"
    };

    Kind kind = Blank;
    QString error;  // not empty: the line is not understood, and says why
    int value = 0;  // D, S, q; Q length; P labels; V length; C digits
    int copies = 1; // P
    int number = 0; // V and C: which one
    int step = 0;   // C; the offset of Q
    Justify justify = Justify::Left;
    QByteArray name; // FK, FS, FR; the gap of Q as written ("24", "B24")
    TextField field; // A
};

// Reads one line (without its line end).
Epl2Command readEpl2Command(QByteArrayView line);

// A short, printable rendering of a job's text for messages: printable ASCII as it is, every other byte as
// \xNN, cut after `limit` characters with "..." added.
QString printableExcerpt(QByteArrayView bytes, int limit = 40);
