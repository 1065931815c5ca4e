#include "batch/csv_table.h"

#include <QIODevice>

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;

QString sizeName(qint64 bytes)
{
    if (bytes % (1024 * 1024) == 0)
        return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
    return QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace

CsvReader::CsvReader(QIODevice& input, const CsvLimits& limits) : input_(input), limits_(limits) {}

void CsvReader::fail(const QString& what, int line)
{
    if (ok()) {
        error_ = what;
        errorLine_ = line;
    }
}

// Reads the next piece of the input; false at its end, on a read error and over the size limit.
bool CsvReader::fill()
{
    if (inputEnded_ || !ok())
        return false;
    buffer_.resize(0);
    pos_ = 0;
    // The first piece holds at least the three bytes a byte-order mark takes, when the input has them.
    const qsizetype least = started_ ? 1 : 3;
    while (buffer_.size() < least) {
        // One byte more than the limit allows is read, to know that the input goes past it.
        const qint64 wanted = qMin(kChunkBytes, limits_.inputBytes + 1 - bytesRead_);
        const qsizetype had = buffer_.size();
        buffer_.resize(had + wanted);
        const qint64 got = input_.read(buffer_.data() + had, wanted);
        buffer_.resize(had + qMax<qint64>(got, 0));
        if (got < 0) {
            inputEnded_ = true;
            fail(QStringLiteral("cannot read on: %1").arg(input_.errorString()), line_);
            return false;
        }
        bytesRead_ += got;
        if (bytesRead_ > limits_.inputBytes) {
            inputEnded_ = true;
            fail(QStringLiteral("the input is larger than %1, the most this program reads")
                     .arg(sizeName(limits_.inputBytes)),
                 line_);
            return false;
        }
        if (got == 0) {
            inputEnded_ = true;
            break;
        }
    }
    if (!started_) {
        started_ = true;
        if (buffer_.startsWith("\xEF\xBB\xBF"))
            pos_ = 3;
    }
    return pos_ < buffer_.size() || !inputEnded_; // after a mark alone there may be more to read
}

int CsvReader::peekByte()
{
    while (pos_ >= buffer_.size()) {
        if (!fill())
            return -1;
    }
    return uchar(buffer_.at(pos_));
}

int CsvReader::takeByte()
{
    const int byte = peekByte();
    if (byte >= 0)
        ++pos_;
    return byte;
}

// At a CR, LF or CR LF: steps over it and counts the line. False when not at a line end.
bool CsvReader::skipLineEnd()
{
    const int byte = peekByte();
    if (byte == '\r') {
        ++pos_;
        if (peekByte() == '\n')
            ++pos_;
    } else if (byte == '\n') {
        ++pos_;
    } else {
        return false;
    }
    ++line_;
    return true;
}

bool CsvReader::notUtf8()
{
    fail(QStringLiteral("the text is not UTF-8"), line_);
    return false;
}

bool CsvReader::fits(const QByteArray& field, qsizetype more)
{
    if (field.size() + more <= limits_.fieldBytes)
        return true;
    fail(QStringLiteral("a field is longer than %1 bytes, the most a field may hold").arg(limits_.fieldBytes), line_);
    return false;
}

// Adds one byte of a field, checking the UTF-8 sequence it belongs to and the field's length.
bool CsvReader::addByte(QByteArray& field, char byte)
{
    const uchar b = uchar(byte);
    if (pending_ > 0) {
        if (b < lowest_ || b > highest_) {
            return notUtf8();
        }
        --pending_;
        lowest_ = 0x80;
        highest_ = 0xBF;
    } else if (b >= 0x80) {
        // Well-formed sequences only: no overlong forms, no surrogates, nothing past U+10FFFF.
        if (b >= 0xC2 && b <= 0xDF) {
            pending_ = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            pending_ = 2;
            lowest_ = b == 0xE0 ? 0xA0 : 0x80;
            highest_ = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            pending_ = 3;
            lowest_ = b == 0xF0 ? 0x90 : 0x80;
            highest_ = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            return notUtf8();
        }
    }
    if (!fits(field, 1))
        return false;
    field.append(byte);
    return true;
}

bool CsvReader::endField(const QByteArray& field, QString& text)
{
    if (pending_ > 0)
        return notUtf8();
    // fromUtf8() would take a byte-order mark at the start of the field away; in a field it is text.
    const QByteArrayView bom("\xEF\xBB\xBF");
    QByteArrayView rest(field);
    text.clear();
    for (; rest.startsWith(bom); rest = rest.sliced(bom.size()))
        text += QChar(0xFEFF);
    text += QString::fromUtf8(rest);
    return true;
}

// Takes the ASCII bytes from here on that need no care in a field (in double quotes or not) at once.
bool CsvReader::takePlainRun(QByteArray& field, bool quoted)
{
    const char* bytes = buffer_.constData();
    qsizetype end = pos_;
    while (end < buffer_.size()) {
        const uchar b = uchar(bytes[end]);
        if (b >= 0x80 || b == '"' || b == '\r' || b == '\n' || (b == ',' && !quoted))
            break;
        ++end;
    }
    if (end == pos_)
        return true;
    if (pending_ > 0)
        return notUtf8();
    if (!fits(field, end - pos_))
        return false;
    field.append(bytes + pos_, end - pos_);
    pos_ = end;
    return true;
}

// Reads one field up to the comma or line end after it (not taken).
bool CsvReader::readField(QByteArray& field, bool& quoted)
{
    quoted = peekByte() == '"';
    if (!quoted) {
        for (int byte = peekByte(); byte >= 0 && byte != ',' && byte != '\r' && byte != '\n'; byte = peekByte()) {
            if (!takePlainRun(field, false))
                return false;
            byte = peekByte();
            if (byte < 0 || byte == ',' || byte == '\r' || byte == '\n')
                break;
            if (byte == '"') {
                fail(QStringLiteral("a double quote inside a field that does not start with one "
                                    "(put the field in double quotes and double the quote)"),
                     line_);
                return false;
            }
            if (!addByte(field, char(takeByte())))
                return false;
        }
        return ok();
    }
    const int openedOn = line_;
    takeByte(); // the opening quote
    for (;;) {
        if (peekByte() >= 0 && !takePlainRun(field, true))
            return false;
        const int byte = takeByte();
        if (byte < 0) {
            fail(QStringLiteral("a field in double quotes is not closed (it opens on line %1)").arg(openedOn),
                 openedOn);
            return false;
        }
        if (byte == '"') {
            if (peekByte() != '"')
                return true; // the closing quote
            takeByte();
        } else if (byte == '\r' || byte == '\n') {
            if (!addByte(field, char(byte)))
                return false;
            if (byte == '\r' && peekByte() == '\n' && !addByte(field, char(takeByte())))
                return false;
            ++line_;
            continue;
        }
        if (!addByte(field, char(byte)))
            return false;
    }
}

bool CsvReader::next(CsvRecord& record)
{
    record.fields.clear();
    if (!ok() || peekByte() < 0)
        return false;
    record.line = line_;
    bool anyQuoted = false;
    QByteArray field;
    for (;;) {
        field.clear();
        bool quoted = false;
        if (!readField(field, quoted))
            return false;
        anyQuoted = anyQuoted || quoted;
        if (record.fields.size() >= limits_.fields) {
            fail(QStringLiteral("more than %1 fields in one row").arg(limits_.fields), line_);
            return false;
        }
        QString text;
        if (!endField(field, text))
            return false;
        record.fields << text;
        const int byte = peekByte();
        if (byte == ',') {
            takeByte();
            continue;
        }
        if (byte < 0) {
            if (!ok())
                return false;
            break;
        }
        if (skipLineEnd())
            break;
        fail(QStringLiteral("text after the closing double quote of a field"), line_);
        return false;
    }
    if (!anyQuoted && record.fields.size() == 1 && record.fields.first().isEmpty())
        record.fields.clear(); // a line with nothing on it
    return true;
}
