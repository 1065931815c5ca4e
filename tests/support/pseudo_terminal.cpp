#include "support/pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        return;
    const char* name = ::ptsname(master_);
    if (!name)
        return;
    slavePath_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios raw{};
    if (slave_ >= 0 && ::tcgetattr(slave_, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
    }
}

PseudoTerminal::~PseudoTerminal()
{
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

QByteArray PseudoTerminal::read(qint64 maxBytes)
{
    QByteArray got;
    char chunk[4096];
    while (maxBytes < 0 || got.size() < maxBytes) {
        const qint64 want = maxBytes < 0 ? qint64(sizeof chunk) : qMin<qint64>(sizeof chunk, maxBytes - got.size());
        const ssize_t n = ::read(master_, chunk, size_t(want));
        if (n > 0)
            got.append(chunk, n);
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    return got;
}

QByteArray PseudoTerminal::fill()
{
    QByteArray written;
    const QByteArray chunk(512, 'F');
    for (;;) {
        const ssize_t n = ::write(slave_, chunk.constData(), size_t(chunk.size()));
        if (n > 0) {
            written.append(chunk.constData(), n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // The kernel may still be moving bytes towards the master and make room; full means it stays full.
        pollfd slave{slave_, POLLOUT, 0};
        if (::poll(&slave, 1, 20) <= 0)
            break;
    }
    return written;
}

termios PseudoTerminal::lineSettings() const
{
    termios settings{};
    ::tcgetattr(master_, &settings); // on a master this reads the slave's settings
    return settings;
}

void PseudoTerminal::hangUp()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

bool PseudoTerminal::write(const QByteArray& bytes)
{
    return ::write(master_, bytes.constData(), size_t(bytes.size())) == bytes.size();
}
