#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// quorlex-label-printer run as a real process for a test: on a free loopback port (--listen 127.0.0.1:0,
// the port read from its log), writing into a folder of the test's own. In `arguments`, OUT stands for
// that folder's out/ and LINK for a path in it for --serial. The process is ended by SIGTERM (then
// SIGKILL) when the object goes.
class PrinterProcess
{
public:
    PrinterProcess(const QString& program, const QStringList& arguments);
    ~PrinterProcess();
    PrinterProcess(const PrinterProcess&) = delete;
    PrinterProcess& operator=(const PrinterProcess&) = delete;

    // Started and, when it listens or has a serial line, announced it; failure() says why not.
    bool isReady() const { return m_ready; }
    QString failure() const { return m_failure; }

    quint16 port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }
    QString socketAddress() const; // socket://127.0.0.1:PORT
    QString outDir() const;
    QString link() const;
    QString labelPath(int number) const;

    // Every log line so far.
    QStringList log();
    // Waits at most `ms` until `count` log lines contain `text`.
    bool waitForLog(const QString& text, int count = 1, int ms = 10000);
    int logCount(const QString& text);

    // Connects, sends `bytes`, and reads what the printer answers until it has `replyBytes` bytes or `ms`
    // have passed; then closes. Empty with a failure when it cannot connect.
    QByteArray exchange(const QByteArray& bytes, qint64 replyBytes = 0, int ms = 5000);
    // The same, reading until the answer ends with `end`.
    QByteArray exchange(const QByteArray& bytes, const QByteArray& end, int ms = 5000);
    // The same as exchange(bytes, replyBytes), but the connection's sending side is closed once `bytes` are out,
    // as a sender that only asks and then waits for the answer does.
    QByteArray exchangeClosingFirst(const QByteArray& bytes, qint64 replyBytes, int ms = 5000);
    // A line on the printer's standard input.
    void control(const QByteArray& line);
    // The most memory the process has held so far (VmHWM), in KB; 0 when it cannot be read.
    qint64 peakMemoryKb() const;
    // Sends `signal` and waits for the end; the exit status, or -1 when it did not end within 10 s.
    int stop(int signal);

private:
    QByteArray exchange(const QByteArray& bytes, qint64 replyBytes, const QByteArray& end, int ms,
                        bool closeFirst = false);
    void readLog();

    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
    quint16 m_port = 0;
    bool m_ready = false;
    QString m_failure;
};
