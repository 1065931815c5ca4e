#pragma once

#include "printing/label_field.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// Where the four label fields print, in printer dots, and the label length of the stored form.
// Field names follow the names the whole program uses for these values.
struct LabelPositions
{
    qint16 ItemX = 0;
    QString ItemY; // held as decimal text
    qint16 VerX = 0;
    qint16 VerY = 0;
    qint16 DataX = 0;
    qint16 DataY = 0;
    qint16 ChksumX = 0;
    qint16 ChksumY = 0;
    qint16 LabelLength = 0;

    friend bool operator==(const LabelPositions& a, const LabelPositions& b)
    {
        return a.ItemX == b.ItemX && a.ItemY == b.ItemY && a.VerX == b.VerX && a.VerY == b.VerY && a.DataX == b.DataX &&
               a.DataY == b.DataY && a.ChksumX == b.ChksumX && a.ChksumY == b.ChksumY && a.LabelLength == b.LabelLength;
    }
    friend bool operator!=(const LabelPositions& a, const LabelPositions& b) { return !(a == b); }
};

// The label sizes, named by the label each one makes (not by the option button that carries it).
enum class LabelSize { None, M1, M2, M3, M6, M9 };

// Everything one job is composed from, taken at the moment Print is pressed.
struct LabelSettings
{
    LabelSize size = LabelSize::M3;
    int fiveAcross = 0; // the check box value: 0 is off, anything else on
    QString darkness = QStringLiteral("8");
    QString gap = QStringLiteral("12");
    QString quantity = QStringLiteral("1");
    QString item;
    QString version;
    QString data;
    QString checksum;
    LabelPositions positions;
    // item, version, data or checksum by field.
    QString& text(LabelField field);
    const QString& text(LabelField field) const;
    // Offsets exactly as their panels show them; only the five-across job reads them.
    QString ItemXOffset = QStringLiteral("0");
    QString ItemYOffset = QStringLiteral("0");
    QString VerXOffset = QStringLiteral("0");
    QString VerYOffset = QStringLiteral("0");
};

// Number to text as everything in the program writes it: plain decimal, "-" when negative, nothing else.
QString plainDecimal(qint64 value);

// Text with its leading and trailing U+0020 blanks removed; tabs and other characters stay.
QString trimBlanks(const QString& text);

// 16-bit signed arithmetic that reports a step past the range instead of wrapping.
std::optional<qint16> checkedAdd16(qint16 a, int b);

// Reads a text as a whole number in -32768..32767, the way a caption or ItemY is converted:
// surrounding blanks are allowed, a value with a fraction is rounded to the nearest integer (halves to even).
std::optional<qint16> textToInt16(const QString& text);
