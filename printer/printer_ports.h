#pragma once

#include "printer/label_printer.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

class QSocketNotifier;

// The printer's raw TCP port: one connection at a time, as a printer serves them; the others wait in the
// listen backlog until it is free. A connection that sends nothing for the idle time-out is closed.
class TcpPort : public QObject
{
public:
    TcpPort(LabelPrinter& printer, int idleSeconds);
    ~TcpPort() override;

    QString listen(const QHostAddress& address, quint16 port);
    QString address() const;
    // Ends the connection being served (its stream is finished) and stops listening.
    void close(const QString& why);

private:
    void serveNext();
    void readSome();
    void endConnection(const QString& why);

    LabelPrinter& m_printer;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    std::unique_ptr<PrinterSession> m_session;
    QTimer m_idle;
    int m_idleSeconds;
    ReplyLine m_line;
    bool m_repliesDropped = false;
};

// The printer's serial line: a pseudo-terminal whose device a symbolic link names. A serial line has no
// connections, so a stream is a run of bytes: it ends when the line has been quiet for kSerialQuietMs.
// With wire speed the line is read at 9600 baud (960 bytes a second), so that a sender feels a real
// printer's pace (the pseudo-terminal's buffer fills and its writes wait).
class PrinterSerialLink : public QObject
{
public:
    static constexpr int kSerialQuietMs = 1000;

    PrinterSerialLink(LabelPrinter& printer, bool wireSpeed);
    ~PrinterSerialLink() override;

    QString open(const QString& link);
    QString devicePath() const { return m_device; }
    // Ends the stream being read and removes the link.
    void close(const QString& why);
    // Removes the link only, for an ending that cannot wait.
    void removeLink();

private:
    void readSome(qint64 atMost);

    LabelPrinter& m_printer;
    bool m_wireSpeed;
    int m_master = -1;
    int m_slave = -1; // kept open, so the line never hangs up between senders
    QString m_device;
    QString m_link;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_pace;
    QTimer m_quiet;
    ReplyLine m_line;
    std::unique_ptr<PrinterSession> m_session;
    bool m_repliesDropped = false;
};
