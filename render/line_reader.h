#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Cuts a stream of EPL2 bytes into command lines and blocks of binary data, as they arrive in pieces of any
// size: a line ends at LF (a CR before it is dropped); after a GW header ("GW10,20,2,16,") exactly its number of
// bytes follow, whatever they are, after a GM line the number its client asks for, and after ES"name" (a line
// of its own at its closing quote) the bytes its font's sizes add up to. A line end straight after binary data
// belongs to it. A line longer than kMaxLineBytes is not held: it is noted and skipped.
class LineReader
{
public:
    class Client
    {
    public:
        virtual ~Client() = default;
        // A whole command line, numbered from 1 across the stream. `withData`: a GW line, header and data.
        virtual void line(QByteArrayView text, int number, bool withData) = 0;
        // Whether a line starting with GW or ES may be a header with binary data after it (not while the data
        // lines of a form are read).
        virtual bool takesGraphicHeaders() const = 0;
        // A GW header has arrived; true when its data is to be skipped rather than handed on.
        virtual bool graphicHeader(QByteArrayView header, int number) = 0;
        // The data asked for with expectData(), or of an ES, has arrived whole.
        virtual void data(QByteArray bytes, int number) = 0;
        virtual void note(int number, const QString& text) = 0;
    };

    explicit LineReader(Client& client) : m_client(client) {}

    void feed(QByteArrayView bytes);
    // The stream has ended: data left short is noted, and a last line without its line end is taken.
    void finish();
    // `bytes` of binary data follow the line just read (GM); `skip`: they are not handed on. `what` names the
    // command in the note when the stream ends before them.
    void expectData(qsizetype bytes, int number, bool skip, const char* what);
    int lines() const { return m_line; }
    // The line just handed over is an ES header: the font's data follows it.
    bool softFontFollows() const { return m_softFont; }

private:
    bool mayBeGraphicHeader() const;
    bool mayBeSoftFontHeader() const;
    void startGraphicWrite();
    void startSoftFont();
    void endData();
    void endLine();

    Client& m_client;
    QByteArray m_partial; // the line read so far
    int m_line = 0;       // lines ended so far
    bool m_overlong = false;
    QByteArray m_overlongStart;
    qint64 m_overlongBytes = 0;

    // Binary data after a GW header or a GM line.
    qsizetype m_dataLeft = 0;
    bool m_dataSkipped = false;
    bool m_dataIsGraphicWrite = false;
    bool m_softFont = false; // the data is an ES's, read in steps as its sizes become known
    const char* m_dataOf = "GW";
    QByteArray m_data;
    int m_dataLine = 0;
    int m_afterData = 0;      // 1: a line end may follow the data; 2: its CR has come
    bool m_notHeader = false; // the line read so far starts with GW but is no GW header
};
