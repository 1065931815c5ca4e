#include "batch/csv_table.h"

#include <QStringDecoder>

namespace {

class CsvReader
{
public:
    explicit CsvReader(const QString& text) : text_(text) {}

    CsvTable read()
    {
        while (pos_ < text_.size() && table_.ok())
            readRecord();
        return table_;
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    QChar peek() const { return text_.at(pos_); }

    // At a CR, LF or CR LF: steps over it and counts the line. False when not at a line end.
    bool skipLineEnd()
    {
        if (atEnd())
            return false;
        if (peek() == u'\r') {
            ++pos_;
            if (!atEnd() && peek() == u'\n')
                ++pos_;
        } else if (peek() == u'\n') {
            ++pos_;
        } else {
            return false;
        }
        ++line_;
        return true;
    }

    void fail(const QString& what, int line)
    {
        if (table_.ok()) {
            table_.error = what;
            table_.errorLine = line;
        }
    }

    void readRecord()
    {
        CsvRecord record;
        record.line = line_;
        bool anyQuoted = false;
        for (;;) {
            QString field;
            if (!atEnd() && peek() == u'"') {
                anyQuoted = true;
                if (!readQuoted(field, record.line))
                    return;
            } else if (!readPlain(field)) {
                return;
            }
            record.fields << field;
            if (atEnd())
                break;
            if (peek() == u',') {
                ++pos_;
                continue;
            }
            if (skipLineEnd())
                break;
            fail(QStringLiteral("text after the closing double quote of a field"), line_);
            return;
        }
        if (!anyQuoted && record.fields.size() == 1 && record.fields.first().isEmpty())
            record.fields.clear(); // a line with nothing on it
        table_.records << record;
    }

    bool readPlain(QString& field)
    {
        const qsizetype start = pos_;
        while (!atEnd()) {
            const QChar c = peek();
            if (c == u',' || c == u'\r' || c == u'\n')
                break;
            if (c == u'"') {
                fail(QStringLiteral("a double quote inside a field that does not start with one "
                                    "(put the field in double quotes and double the quote)"),
                     line_);
                return false;
            }
            ++pos_;
        }
        field = text_.mid(start, pos_ - start);
        return true;
    }

    bool readQuoted(QString& field, int recordLine)
    {
        const int openedOn = line_;
        ++pos_; // the opening quote
        for (;;) {
            if (atEnd()) {
                fail(QStringLiteral("a field in double quotes is not closed (it opens on line %1)").arg(openedOn),
                     recordLine);
                return false;
            }
            const QChar c = peek();
            if (c == u'"') {
                if (pos_ + 1 < text_.size() && text_.at(pos_ + 1) == u'"') {
                    field += u'"';
                    pos_ += 2;
                    continue;
                }
                ++pos_; // the closing quote
                return true;
            }
            if (c == u'\r' || c == u'\n') {
                const qsizetype start = pos_;
                skipLineEnd();
                field += text_.mid(start, pos_ - start);
                continue;
            }
            field += c;
            ++pos_;
        }
    }

    const QString& text_;
    qsizetype pos_ = 0;
    int line_ = 1;
    CsvTable table_;
};

int lineOfOffset(const QString& text, qsizetype offset)
{
    int line = 1;
    for (qsizetype i = 0; i < offset && i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\n' || (c == u'\r' && !(i + 1 < text.size() && text.at(i + 1) == u'\n')))
            ++line;
    }
    return line;
}

} // namespace

CsvTable parseCsv(const QByteArray& utf8)
{
    QByteArrayView bytes(utf8);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    // The one byte-order mark has gone; another one would be text.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        CsvTable table;
        const qsizetype bad = text.indexOf(QChar(QChar::ReplacementCharacter));
        table.error = QStringLiteral("the text is not UTF-8");
        table.errorLine = lineOfOffset(text, bad < 0 ? text.size() : bad);
        return table;
    }
    return CsvReader(text).read();
}
