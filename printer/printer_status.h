#pragma once

#include "output/status_query.h"
#include "render/label_render.h"

#include <QByteArray>
#include <QList>

// The printer's answers to status queries, in the forms the EPL2 programmer's manual gives them.

// Error and status codes, as ^ee reports them and as reporting (US) sends them after a NAK: the ones of the
// manual's table that this printer can be in.
enum StatusCode {
    kNoError = 0,
    kSyntaxError = 1,        // a line not understood or not carried out
    kObjectPastBorder = 2,   // a field runs past the label's edge
    kInsufficientMemory = 4, // the image buffer or the form memory is full
    kPaperOrRibbonEmpty = 7, // paper-out
    kHeadUp = 11,            // head-open
    kPaused = 12,            // paused
};

// ^ee: "00\r\n" without an error, one code "07\r\n", several "01,11\r\n" (in rising order).
QByteArray errorReport(QList<int> codes);

// An error as reporting sends it the moment it happens: NAK, the code in two digits, and XOFF when the
// printer stops printing until the fault is cleared.
QByteArray errorNotice(int code, bool stops);

struct ConfigurationFacts
{
    PrinterSettings settings;
    qint64 formBytes = 0;       // the stored forms
    qint64 formCapacity = 0;    // what the form memory holds at most
    qint64 graphicDots = 0;     // the stored graphics
    qint64 graphicCapacity = 0; // dots the graphics memory holds at most
    bool reporting = false;     // US (on) or UN (off)
};

// UQ: the configuration, line by line, each ended by CR LF.
QByteArray configurationReport(const ConfigurationFacts& facts);

// The head is 4 inches of 203 dots per inch: the width a printer reports before any q.
inline constexpr int kHeadWidthDots = 832;
