#pragma once

#include "protocol/epl2_status.h"
#include "render/label_render.h"

#include <QByteArray>
#include <QList>

// The printer's answers to status queries, in the forms the EPL2 programmer's manual gives them.

struct ConfigurationFacts
{
    PrinterSettings settings;
    qint64 formBytes = 0;       // the stored forms
    qint64 formCapacity = 0;    // what the form memory holds at most
    qint64 graphicDots = 0;     // the stored graphics
    qint64 graphicCapacity = 0; // dots the graphics memory holds at most
    qint64 fontBytes = 0;       // the stored soft fonts' data
    qint64 fontCapacity = 0;    // what the soft font memory holds at most
    bool reporting = false;     // US (on) or UN (off)
};

// UQ: the configuration, line by line, each ended by CR LF.
QByteArray configurationReport(const ConfigurationFacts& facts);

// The head is 4 inches of 203 dots per inch: the width a printer reports before any q.
inline constexpr int kHeadWidthDots = 832;
