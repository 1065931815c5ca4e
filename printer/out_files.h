#pragma once

#include <QDir>
#include <QString>

// The names of the files the printer writes into its out folder: label-000012.png (and .pdf) for each label,
// stream-000003.epl for each stream, numbered across the printer's life.

// "label-000012.png" from ("label", 12, "png"): at least six digits.
QString numberedFileName(const char* kind, quint64 number, const char* suffix);

// Raises `label` and `stream` to the highest numbers among the label and stream files already in `folder`, so
// that a printer started again on the same folder never writes over what an earlier run wrote.
void highestFileNumbers(const QDir& folder, quint64* label, quint64* stream);
