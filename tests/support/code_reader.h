#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// Reads bar codes and two-dimensional codes back from label pictures with ZXing-C++, as a scanner would.

struct ReadCode
{
    QString format;              // "Code128", "EAN-13", "QRCode", ...; empty when nothing was read
    QString text;                // the decoded content (UTF-8)
    QString symbologyIdentifier; // "]C1" for a code 128 that starts with FNC1, ...
    int sequenceIndex = -1;      // structured append: this symbol's place in its set, from 0; -1 outside one
    int sequenceSize = -1;       // and the symbols of the set
    QString sequenceId;          // and what ties the set together (QR Code: its parity byte, in decimal)
    bool readerInit = false;     // a reader initialisation (menu) symbol
};

// The one code of `formats` (ZXing's names separated by "|", empty for any) in the picture (Format_Grayscale8,
// one pixel per dot). `pure`: the picture holds the code alone on white (MaxiCode is only read so).
ReadCode readCode(const QImage& picture, const QString& formats = QString(), bool pure = false);

// MSI and Matrix 2 of 5 ("MSI", "Matrix25"), which ZXing does not read, read from the dots of their bars and
// spaces (a bar first) of `narrow` and `wide` dots: empty when they are not a symbol of `format`.
QString readByWidths(const QString& format, const QList<int>& widths, int narrow, int wide);
