#pragma once

#include <QIODevice>

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

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool writeOut(const char* data, qint64 size);

    int fd_;
    std::unique_ptr<char[]> buffer_;
    qint64 pending_ = 0; // bytes in buffer_ not written yet
};
