#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The longest side of a label the drawing takes, in dots (about a metre at 203 dots per inch).
inline constexpr int kMaxLabelDots = 8192;

// One EPL2 command line of a job, read without looking at what came before it. The commands the virtual
// printer carries out are known; anything else is an error that names what is wrong.

// How a variable or counter places its value in its field of fixed width.
enum class Justify { Left, Right, Centre, None };

// Where the characters of an A line come from.
enum class TextSource { Quoted, Variable, Counter };

// The character set of a printer's Asian fonts 8 and 9; a printer has one or none.
enum class AsianLanguage { None, Korean, Japanese, SimplifiedChinese, TraditionalChinese };

struct TextField
{
    int x = 0;
    int y = 0;
    int rotation = 0;  // 0 to 3: quarter turns clockwise; fonts 8 and 9 also 4 to 7: the same turns, top to bottom
    int font = 1;      // 1 to 5, 8 or 9
    char softFont = 0; // not 0: the letter of the soft font that draws instead of the font
    int widthTimes = 1;
    int heightTimes = 1;
    bool reverse = false;
    // Fonts 8 and 9: the printer's Asian character set and the dots between characters (i), as they were when
    // the line went into the image buffer.
    AsianLanguage language = AsianLanguage::None;
    int spacing = 0;
    TextSource source = TextSource::Quoted;
    QByteArray text; // the quoted text with its escapes undone
    int number = 0;  // the variable (V00..V99) or counter (C0..C9)
};

// A B line: a one-dimensional bar code.
struct BarcodeField
{
    int x = 0;
    int y = 0;
    int rotation = 0;      // 0 to 3, as for text
    QByteArray symbology;  // the bar code selection as written: "3", "1A", "E30", "UA0", "K", ...
    int narrow = 1;        // dots of a narrow bar (of a module, for codes of one to four modules)
    int wide = 2;          // dots of a wide bar (codes of two widths only)
    int height = 1;        // dots of the bars
    bool readable = false; // B: the human-readable text is printed under the bars
    TextSource source = TextSource::Quoted;
    QByteArray text;
    int number = 0;
};

// A b line: a two-dimensional code. Options not given are 0 (the printer's default).
struct MatrixField
{
    int x = 0;
    int y = 0;
    char type = 'Q';          // D Data Matrix, Q QR Code, P PDF417, M MaxiCode, A Aztec
    int columns = 0;          // D: c; P: l (most columns)
    int rows = 0;             // D: r; P: r (most rows)
    int module = 0;           // D: h; Q: s; P: x; A: d (dots of a module's width)
    int rowHeight = 0;        // P: y
    int maxWidth = 0;         // P: the most dots across
    int maxHeight = 0;        // P: the most dots along
    int errorLevel = -1;      // Q: 0 to 3 for L, M, Q, H; P: s, 0 to 8; A: e, 0 to 300
    int model = 2;            // Q: m
    bool manualInput = false; // Q: iM, the data starts with its mode (N, A or B)
    int mode = 0;             // M: m2, m3, m4 or m6; 0 chooses 2 or 3 from the postal code
    bool centred = true;      // P: f1, X,Y is the middle of the symbol
    bool truncated = false;   // P: t1
    bool binary = false;      // P: c1
    bool inverse = false;     // D: v; A: r
    bool menu = false;        // A: m, a reader initialisation (menu) symbol
    bool flags = false;       // A: f, an ECI at the start of the data as ESC and FLG(n) digits
    int rotation = 0;         // P: o, quarter turns clockwise (the most dots across and along turn with it)
    bool printText = false;   // P: p1, the data printed under the symbol
    int symbolIndex = 0;      // M: x of "x,y", Q: c of D; this symbol's number among associated ones (0: none)
    int symbolCount = 0;      // M: y; Q: d of D
    int parity = -1;          // Q: p of D, the set's parity byte (-1: not given, 0 in the symbol)
    TextSource source = TextSource::Quoted;
    QByteArray text;
    int number = 0;
};

struct Epl2Command
{
    enum Kind {
        Blank,         // an empty line
        Clear,         // N
        Density,       // D0..D15
        Speed,         // S
        Width,         // q
        Length,        // Q length,gap[,offset]
        Options,       // O (no options)
        Text,          // A
        Print,         // P labels[,copies]
        FormDelete,    // FK"name" ("*" deletes every form)
        FormStore,     // FS"name"
        FormEnd,       // FE
        FormRecall,    // FR"name"
        DataFollows,   // ?
        Variable,      // Vnn,length,justification,"prompt"
        Counter,       // Cn,digits,justification,step,"prompt"
        Barcode,       // B
        Code2D,        // b
        LineBlack,     // LO x,y,across,along
        LineWhite,     // LW
        LineXor,       // LE
        LineDiagonal,  // LS x,y,thickness,end x,end y
        Box,           // X x,y,thickness,end x,end y
        GraphicWrite,  // GW x,y,bytes across,dots along,data
        GraphicStore,  // GM"name"bytes, then the bytes of a PCX file
        GraphicDelete, // GK"name" ("*" deletes every graphic)
        GraphicList,   // GI
        GraphicRecall, // GG x,y,"name"
        CodePage,      // I8,page[,country]
        Reference,     // R x,y
        Direction,     // ZT or ZB
        FormBackup,    // JF, JB, JC
        Spacing,       // i: dots between the characters of fonts 8 and 9
        FontStore,     // ES"name", then the soft font's data
        FontDelete,    // EK"name" ("*" deletes every soft font)
        FontList,      // EI
    };

    Kind kind = Blank;
    QString error;  // not empty: the line is not understood, and says why
    int value = 0;  // D, S, q, i; Q length; P labels; V length; C digits
    int copies = 1; // P
    int number = 0; // V and C: which one
    int step = 0;   // C; the offset of Q
    Justify justify = Justify::Left;
    QByteArray name;      // FK, FS, FR, GM, GK, GG, ES, EK; the gap of Q as written ("24", "B24")
    TextField field;      // A
    BarcodeField barcode; // B
    MatrixField matrix;   // b
    int numbers[5] = {};  // LO LW LE: x, y, across, along; LS X: x, y, thickness, end x, end y;
                          // GW: x, y, bytes across, dots along; GG R: x, y
    QByteArray data;      // GW: the bytes of the picture; O: the options as written; ZT/ZB, JF/JB/JC: the letter
};

// The longest text a quoted field takes.
inline constexpr int kMaxFieldBytes = 3000;
// The most bytes a GW picture (1024 bytes by 8192 dots) or a GM file may have: what the reader holds at most
// for binary data.
inline constexpr qsizetype kMaxGraphicBytes = qsizetype(kMaxLabelDots / 8) * kMaxLabelDots;
