#pragma once

#include <QByteArray>
#include <QString>

// The B selections whose data the printer checks, completes or rewrites before the symbol is encoded (check
// digits of their own, fixed lengths), kept apart from the drawing of the bars.
struct LinearRecipe
{
    bool known = false; // the selection is one of these
    int symbology = 0;  // zint's
    QByteArray input;   // what zint encodes
    int inputMode = 0;  // zint's (0: the bytes as they are)
    int option2 = 0;    // zint's option_2 (check digits)
    bool twoWidths = false;
    bool postal = false;  // bars of the narrow width and differing heights, spaces of the wide width
    bool stacked = false; // rows of modules one above the other, each drawn as it is
    QString error;        // not empty: the data is refused, and why
};

LinearRecipe linearRecipe(const QByteArray& type, const QByteArray& data);

// At least one character, and only the digits 0 to 9.
bool allDigits(QByteArrayView text);
