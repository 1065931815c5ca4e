#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One record of a CSV text: its fields, and the line it starts on (1 for the first line). A line with
// nothing on it gives a record without fields, so that records keep the numbers a spreadsheet shows.
struct CsvRecord
{
    QStringList fields;
    int line = 0;
};

struct CsvTable
{
    QList<CsvRecord> records;
    QString error; // empty when the whole text was read
    int errorLine = 0;
    bool ok() const { return error.isEmpty(); }
};

// Reads comma-separated values as RFC 4180 writes them, from UTF-8 text:
// - a UTF-8 byte-order mark at the start is skipped; bytes that are not UTF-8 are an error;
// - records end at CR LF, LF or a lone CR; a line end after the last record is optional;
// - a field that starts with a double quote runs to the matching closing quote and may hold commas and
//   line breaks (kept as they are); "" inside it stands for one double quote;
// - after a closing quote only a comma or the end of the record may follow, and a double quote inside a
//   field that does not start with one is an error, so a stray quote never silently moves a column;
// - fields are taken exactly as written, blanks included.
// On an error the records read so far are kept and `error` says what is wrong at `errorLine`.
CsvTable parseCsv(const QByteArray& utf8);
