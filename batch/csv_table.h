#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

// One record of a CSV text: its fields, and the line it starts on (1 for the first line). A line with
// nothing on it gives a record without fields, so that records keep the numbers a spreadsheet shows.
struct CsvRecord
{
    QStringList fields;
    int line = 0;
};

// What the reader holds at most. Over any of them the reading stops with an error.
struct CsvLimits
{
    qint64 inputBytes = 256LL * 1024 * 1024; // the whole input, a byte-order mark included
    qsizetype fieldBytes = 256;              // one field, as UTF-8 after its quotes are taken off
    qsizetype fields = 64;                   // fields of one record
};

// Reads comma-separated values as RFC 4180 writes them, from UTF-8 text, one record at a time, so that
// what it holds does not grow with the input:
// - a UTF-8 byte-order mark at the start is skipped; bytes that are not UTF-8 are an error, an incomplete
//   character at the very end included;
// - records end at CR LF, LF or a lone CR; a line end after the last record is optional;
// - a field that starts with a double quote runs to the matching closing quote and may hold commas and
//   line breaks (kept as they are); "" inside it stands for one double quote;
// - after a closing quote only a comma or the end of the record may follow, and a double quote inside a
//   field that does not start with one is an error, so a stray quote never silently moves a column;
// - fields are taken exactly as written, blanks included.
class CsvReader
{
public:
    explicit CsvReader(QIODevice& input, const CsvLimits& limits = {});

    // The next record; false at the end of the input and at the first error.
    bool next(CsvRecord& record);

    bool ok() const { return error_.isEmpty(); }
    // What is wrong, and the line it is on; empty while the input reads well.
    QString error() const { return error_; }
    int errorLine() const { return errorLine_; }

private:
    int peekByte();
    int takeByte();
    bool fill();
    void fail(const QString& what, int line);
    bool readField(QByteArray& field, bool& quoted);
    bool addByte(QByteArray& field, char byte);
    bool takePlainRun(QByteArray& field, bool quoted);
    bool fits(const QByteArray& field, qsizetype more);
    bool notUtf8();
    bool endField(const QByteArray& field, QString& text);
    bool skipLineEnd();

    QIODevice& input_;
    CsvLimits limits_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    qint64 bytesRead_ = 0;
    bool inputEnded_ = false;
    bool started_ = false;
    int line_ = 1;
    // UTF-8 check: continuation bytes still expected, and the range the next one must be in.
    int pending_ = 0;
    uchar lowest_ = 0x80;
    uchar highest_ = 0xBF;
    QString error_;
    int errorLine_ = 0;
};
