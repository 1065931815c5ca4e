#pragma once

#include <QByteArray>
#include <QString>

// QR Code model 1, the first form of QR Code: versions 1 to 14 (21 to 73 modules), extension patterns along
// the right and bottom edges instead of alignment patterns, no version information, and its own codeword
// layout: codewords of 2 by 4 modules in the two rightmost and the four leftmost column pairs, of 4 by 2
// modules between them, each read from its bottom right module up. Made here: versions 1 to 7, where the
// codewords form a single error correction block. Pure: data and options in, modules out.

struct QrModel1Input
{
    QByteArray data;
    int level = 1;       // error correction 0 to 3: L, M, Q, H
    bool kanji = false;  // `data` is Shift JIS pairs, encoded in Kanji mode
    int symbolIndex = 0; // structured append: this symbol's number 1 to 16 of symbolCount (0: none)
    int symbolCount = 0; // 2 to 16
    int parity = 0;      // the set's parity byte
    int mask = -1;       // 0 to 7; -1 chooses the mask whose symbol has the fewest penalty points
};

struct QrModel1Symbol
{
    int size = 0;    // modules across and along
    int version = 0; // 1 to 14
    int mask = -1;   // the mask pattern used
    QByteArray dark; // size * size bytes, row by row: 1 for a dark module
    QString error;   // not empty: no symbol, and why
};

// The symbol of the smallest version that holds the data at the level; data beyond version 14 is refused.
QrModel1Symbol makeQrModel1(const QrModel1Input& input);
