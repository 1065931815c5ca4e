#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

// A pseudo-terminal standing in for a serial printer: the program opens slavePath() as its port, the test
// reads what arrives on the master side. The line is raw, so bytes pass unchanged. The helper keeps a
// descriptor of the slave side open itself, so the master never sees a hang-up between presses.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return slave_ >= 0; }
    QString slavePath() const { return slavePath_; }

    // What has arrived so far, at most `maxBytes` of it (all when negative); never blocks.
    QByteArray read(qint64 maxBytes = -1);
    // Writes `bytes` on the master side, as the printer's answer; false when the line did not take them all.
    bool write(const QByteArray& bytes);
    // Fills the line until it takes nothing more, so that the next writer has to wait for a reader.
    // Returns the bytes it wrote (all 'F').
    QByteArray fill();
    // Closes the master side, as a printer that is switched off or unplugged would hang up.
    void hangUp();
    // The settings of the slave side as the port left them.
    termios lineSettings() const;

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};
