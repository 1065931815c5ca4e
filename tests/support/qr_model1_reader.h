#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// A reader of QR Code model 1 symbols, written apart from the printer's symbol maker from how scanners read
// them: it checks the function patterns, the format information (with model 1's mask), reads the codewords in
// model 1's order, checks every error correction block by its syndromes and decodes the segments.

struct QrModel1Read
{
    QString error; // empty when the symbol read in full
    int version = 0;
    int level = -1; // 0 to 3: L, M, Q, H
    int mask = -1;
    QByteArray data;     // numeric, alphanumeric and byte segments as their characters, Kanji as Shift JIS pairs
    int symbolIndex = 0; // structured append: 1 to 16 (0: none)
    int symbolCount = 0;
    int parity = -1;
};

// Reads a symbol given as its modules, row by row ('#' or '1' dark).
QrModel1Read readQrModel1(const QList<QByteArray>& rows);

// The modules of the one symbol upright on white in `picture` (Format_Grayscale8), sampled at their centres;
// empty when no square of 21 to 73 modules with a top left finder pattern is found.
QList<QByteArray> qrModel1Modules(const QImage& picture);
