#pragma once

#include "render/epl2_command.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

// The bytes of binary data that follow a GW header ("GW10,20,2,16," and nothing more): across times along.
// Empty when the header is not one.
std::optional<qsizetype> graphicDataSize(QByteArrayView header);

// Reads one line (without its line end).
Epl2Command readEpl2Command(QByteArrayView line);

// The commands that put something into the image buffer (text, codes, lines, boxes and graphics): what P
// prints, what a stored form may hold beside settings, and what the image buffer's bound counts.
bool drawsIntoImageBuffer(Epl2Command::Kind kind);
