#pragma once

#include "common/whole_file.h"
#include "printer/memory_folder.h"
#include "printer/printer_log.h"
#include "printer/printer_options.h"
#include "render/label_render.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class PrinterSession;

// Where the printer's replies go: a TCP connection for its life, or the serial line for the printer's. A
// line also carries what reporting (US) sends outside any stream, such as a fault being set.
struct ReplyLine
{
    std::function<void(const QByteArray&)> send;
    bool xoffSent = false; // the printer has told the sender to stop; XON is owed
};

// Bounds that keep what one sender can make the printer hold in memory small, whatever it sends (the renderer
// bounds the rest: a line, a form, the forms, the graphics, the fields of a label):
// - bytes of drawing command lines (A, B, b, L*, X, GW, GG) in the image buffer since the last N;
inline constexpr qint64 kMaxImageBufferBytes = 4 * 1024 * 1024;
// - problems logged for one stream (the rest are counted and summed up at its end);
inline constexpr int kMaxLoggedProblems = 100;
// - pixels of the pictures held in memory while the out folder cannot take them (a full file system): the
//   largest label, or many small ones; a label beyond it is lost, and logged so.
inline constexpr qint64 kMaxHeldInMemoryPixels = qint64(8192) * 8192;
// How often the printer tries again to write a held picture while the out folder cannot take it.
inline constexpr int kOutFolderRetryMs = 1000;

// The printer: its memory (stored forms and settings, kept on disk with --memory), the numbering of labels
// and streams across its life, the pictures and streams it writes into the out folder, its fault, and the
// labels it holds while the fault lasts. Streams reach it through sessions, one per connection or per run
// of bytes on the serial line.
class LabelPrinter
{
public:
    LabelPrinter(const PrinterOptions& options, PrinterLog& log);
    ~LabelPrinter();

    // Makes the out folder, finds where the numbering goes on and reads the memory folder. The cause when
    // the printer cannot start.
    QString start();

    // A stream from `from` ("127.0.0.1:40512", "serial line LINK", a file name); replies go to `line` (null for
    // files), which must outlive the session.
    std::unique_ptr<PrinterSession> openSession(const QString& from, ReplyLine* line);
    // A line the printer sends on while it is attached, streams or not.
    void attachLine(ReplyLine* line) { m_lines.insert(line); }
    void detachLine(ReplyLine* line) { m_lines.remove(line); }

    PrinterFault fault() const { return m_fault; }
    // Sets or clears the fault; clearing it prints the labels held meanwhile.
    void setFault(PrinterFault fault);

    // Told of every label drawn, with its number, before its picture is written (or held while a fault lasts).
    void setLabelObserver(std::function<void(quint64 number, const RenderedLabel& label)> observer)
    {
        m_labelObserver = std::move(observer);
    }
    // Stored forms, graphics and soft fonts (FS, GM, ES), as a person clears them by hand: kept on disk with
    // --memory too.
    int storedForms() const { return int(m_memory.forms.size()); }
    int storedGraphics() const { return int(m_memory.graphics.size()); }
    int storedSoftFonts() const { return int(m_memory.softFonts.size()); }
    void forgetStored();

    // Called after every picture that is written whole; a request to stop is carried out there.
    void setStopCheck(std::function<void()> check) { m_stopCheck = std::move(check); }

    // The cause while the out folder cannot take pictures (a full file system); empty when it can.
    QString outFolderProblem() const { return m_outProblem; }
    // Tries again to write the pictures held while the out folder could not take them; done every
    // kOutFolderRetryMs while the event loop runs, and before every label.
    void retryOutFolder();

    // Keeps the memory on disk, keeps the stream files of streams still open and says what is left held.
    // Called once, at the end: `finished` when every job was read (--render), not when stopped.
    void shutdown(bool finished = false);

    PrinterLog& log() { return m_log; }
    const PrinterOptions& options() const { return m_options; }
    // Logs a problem of `stream` (0: of none) at `line` (0: of no line).
    void problem(quint64 stream, int line, const QString& text);

private:
    friend class PrinterSession;

    struct HeldLabel
    {
        quint64 number = 0;
        QSize dots;
        quint64 stream = 0;
        int line = 0;
        QImage image; // not null: held in memory, because the out folder could not take it
    };

    quint64 takeStreamNumber() { return ++m_lastStream; }
    QString streamPath(quint64 stream) const;
    // Numbers the label, writes its picture (held aside while a fault lasts) and logs it.
    void printLabel(const RenderedLabel& label, quint64 stream, PrinterSession& from);
    void countUndrawn(quint64 labels, quint64 stream);
    void logLabel(const HeldLabel& label, const QString& file);
    // Holds the label while a fault lasts or the out folder cannot take it: on disk in .held when it can,
    // else in memory.
    void hold(HeldLabel label, const QImage& image, PrinterSession& from);
    // Writes or moves the held labels where they now go, in order, up to the first that cannot be.
    void releaseHeld();
    // The out folder could not take a picture: labels are held until it can.
    void outFolderFailed(const QString& cause, quint64 stream, int line);
    void stopLines(int code);
    QString holdReason() const;
    // With --pdf, the label's PDF beside its picture at `pngPath`; a problem of the label when it cannot be.
    // The label's PNG, and its PDF beside it with --pdf; the cause when the PNG cannot be written.
    QString writePicture(const QString& pngPath, const QImage& image, const HeldLabel& label);
    void writeProof(const QString& pngPath, const QImage& image, const HeldLabel& label);
    void keepMemory();

    const PrinterOptions m_options;
    PrinterLog& m_log;
    QDir m_out;
    QDir m_held;
    PrinterMemory m_memory;
    std::unique_ptr<MemoryFolder> m_memoryFolder;
    quint64 m_savedGeneration = 0;
    QByteArray m_savedSettings;
    quint64 m_lastLabel = 0;
    quint64 m_lastStream = 0;
    PrinterFault m_fault = PrinterFault::None;
    QList<HeldLabel> m_heldLabels;
    qint64 m_heldPixels = 0; // of the labels held in memory
    QString m_outProblem;
    std::unique_ptr<QTimer> m_retry;
    QSet<PrinterSession*> m_sessions;
    QSet<ReplyLine*> m_lines;
    bool m_reporting = false; // US
    QSet<int> m_errors;       // since the last N, for ^ee
    std::function<void()> m_stopCheck;
    std::function<void(quint64, const RenderedLabel&)> m_labelObserver;
    bool m_shutDown = false;
};

// One stream of bytes into the printer: the bytes go into stream-NNNNNN.epl and through the renderer; status
// commands are answered on the stream's own connection or line.
class PrinterSession final : public LabelSink
{
public:
    PrinterSession(LabelPrinter& printer, const QString& from, ReplyLine* line);
    ~PrinterSession() override;

    void feed(QByteArrayView bytes);
    // The stream has ended; `why` is logged with it ("closed", "idle for 60 s", ...).
    void finish(const QString& why);

    quint64 number() const { return m_stream; }
    qint64 bytes() const { return m_bytes; }

    void label(RenderedLabel&& label) override;
    void note(const JobNote& note) override;
    bool printerCommand(QByteArrayView line, int lineNumber) override;

private:
    friend class LabelPrinter;

    void reply(const QByteArray& bytes);
    void error(int code);
    void accountUndrawn();
    // Gives the stream file its name with what has arrived so far.
    void keepFile();

    LabelPrinter& m_printer;
    const quint64 m_stream;
    ReplyLine* m_line;
    GrowingFile m_file;
    QString m_fileName;
    std::unique_ptr<LabelStream> m_labels;
    qint64 m_bytes = 0;
    quint64 m_labelsSeen = 0; // the stream's number of the last label accounted for
    int m_problems = 0;
    qint64 m_imageBytes = 0; // bytes of drawing command lines received since the last N
    bool m_imageFull = false;
    bool m_finished = false;
};
