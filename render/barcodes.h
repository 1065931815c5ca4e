#pragma once

#include "render/epl2_commands.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

// Bar codes and two-dimensional codes as the printer lays them out, in whole dots: the symbols are encoded
// with libzint and every bar, space and module is then sized from the command's own widths.

struct LinearCode
{
    QList<int> elements; // dots of each bar and space, a bar first, alternating
    QByteArray readable; // the human-readable text printed under the bars
    // Bars of differing heights (Postnet, Planet, Japanese Postnet): each bar's top and bottom down the bar
    // code's height, in fifteenths of it; empty when every bar is full height.
    QList<std::pair<int, int>> spans;
    // A stacked symbol (RSS-14 stacked): each row's modules (1 for dark) and its top and bottom in dots down the
    // bar code; `elements` then holds the symbol's length only.
    QList<QByteArray> rows;
    QList<std::pair<int, int>> rowSpans;
    QString error; // not empty: nothing is drawn, and why
};

// The bars of a B field for its data (already resolved from a variable or counter).
LinearCode encodeLinear(const BarcodeField& field, const QByteArray& data);

struct MatrixCode
{
    int columns = 0;
    int rows = 0;
    QByteArray dark;        // rows * columns bytes, row by row: 1 for a dark module
    bool hexagonal = false; // MaxiCode: odd rows sit half a module to the right
    int moduleWidth = 0;    // dots
    int moduleHeight = 0;   // dots (the row pitch of MaxiCode)
    int quietModules = 0;   // modules of quiet zone the printer draws around the symbol (Data Matrix: 1)
    QString error;
    bool at(int column, int row) const { return dark.at(row * columns + column) != 0; }
};

// The modules of a b field for its data.
MatrixCode encodeMatrix(const MatrixField& field, const QByteArray& data);
