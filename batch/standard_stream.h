#pragma once

#include <QIODevice>

#include <functional>
#include <memory>

// Standard input, output or error as a device: reads go straight to the descriptor, writes collect in a
// buffer of 64 KiB that goes out when it is full, on flush() and at the end. Lighter than a QFile on the
// stream, which brings the whole file engine into every run for three descriptors.
class StandardStream final : public QIODevice
{
public:
    // Opens at once, for reading or writing `fd`.
    StandardStream(int fd, OpenMode mode);
    ~StandardStream() override;

    bool isSequential() const override { return true; }
    // Writes out what the buffer holds; false, with errorString() set, when the descriptor refuses it.
    bool flush();

    // Asked whenever the descriptor has taken nothing for a short while (a reader that stopped reading, a
    // terminal held with Ctrl-S): true gives the write up, and stopped() says so. Without it a write waits
    // as long as the descriptor does.
    void setStopCheck(std::function<bool()> check) { stopCheck_ = std::move(check); }
    const std::function<bool()>& stopCheck() const { return stopCheck_; }
    bool stopped() const { return stopped_; }
    // Bytes the descriptor has taken so far; what waits in the buffer is not counted.
    qint64 taken() const { return taken_; }
    // Bytes written to this stream so far, taken or still in the buffer.
    qint64 written() const { return taken_ + pending_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool writeOut(const char* data, qint64 size);

    bool waitUntilWritable();

    int fd_;
    std::unique_ptr<char[]> buffer_;
    qint64 pending_ = 0; // bytes in buffer_ not written yet
    qint64 taken_ = 0;
    std::function<bool()> stopCheck_;
    bool stopped_ = false;
};
