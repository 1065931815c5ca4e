#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The 8-bit code pages fonts 1 to 5 draw characters above 0x7F from, chosen with I8,p2. Bytes below 0x80
// are ASCII in every one of them, except under the 7-bit national character sets I7,p2 chooses, which put
// national letters at a few ASCII positions (#, $, @, [, \, ], ^, `, {, |, } and ~) and take bytes above 0x7F
// from 437.

// The printer's default (I8,0): DOS 437.
inline constexpr int kDefaultCodePage = 437;

// The 7-bit national sets I7,0 to I7,8 (USA, British, German, French, Danish, Italian, Spanish, Swedish, Swiss)
// as the settings keep them: -1 for set 0 down to -9 for set 8.
inline constexpr int kNationalSets = 9;
inline constexpr int nationalSet(int set)
{
    return -1 - set;
}

// The 7-bit national set an I7 line's second value selects, as nationalSet gives it, or 0 for none.
int nationalSetOf(QByteArrayView selector);

// The line that selects a code page or national set: "I8,0" for 437, "I8,A" for 1252, "I7,2" for German.
QByteArray characterSetLine(int codePage);

// The code page an I8 line's second value selects ("0" for 437, "1" for 850, "A" for 1252, "B" for 1250, ...),
// or 0 when it selects one whose characters are not drawn.
int codePageOf(QByteArrayView selector);

// The value I8 takes for a code page: "0" for 437, "10" for 866, "A" for 1252 (the reverse of codePageOf).
QByteArray codePageSelector(int codePage);

// The character a byte stands for in a code page; U+0000 for a byte the page leaves
// undefined.
char16_t codePageCharacter(int codePage, uchar byte);

// A text's bytes as the characters of a code page.
QString fromCodePage(int codePage, QByteArrayView bytes);
