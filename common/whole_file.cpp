#include "common/whole_file.h"

#include "common/safe_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<int> g_injectedError{0};

QString hiddenPathOf(const QString& path)
{
    const QFileInfo info(path);
    return info.dir().filePath(QLatin1Char('.') + info.fileName() + QLatin1String(".part"));
}

QString cannotWrite(const QString& path, int error)
{
    return QStringLiteral("cannot write %1: %2").arg(visibleForMessage(path), qt_error_string(error));
}

// Every byte, or the errno value of the write that failed.
int writeAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        if (const int injected = g_injectedError.load())
            return injected;
        const ssize_t n = ::write(fd, bytes.data(), size_t(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        bytes = bytes.sliced(n);
    }
    return 0;
}

} // namespace

void setInjectedWriteError(int error)
{
    g_injectedError.store(error);
}

QString writeWholeFile(const QString& path, QByteArrayView bytes)
{
    GrowingFile file;
    QString failure = file.open(path);
    if (failure.isEmpty())
        failure = file.append(bytes);
    if (failure.isEmpty())
        failure = file.finish();
    return failure;
}

GrowingFile::~GrowingFile()
{
    abandon();
}

QString GrowingFile::open(const QString& path)
{
    abandon();
    m_path = path;
    m_hidden = hiddenPathOf(path);
    m_fd = ::open(QFile::encodeName(m_hidden).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return cannotWrite(path, errno);
    if (const int injected = g_injectedError.load()) {
        abandon();
        return cannotWrite(path, injected);
    }
    return QString();
}

QString GrowingFile::append(QByteArrayView bytes)
{
    if (m_fd < 0)
        return QString();
    const int error = writeAll(m_fd, bytes);
    if (error == 0)
        return QString();
    abandon();
    return cannotWrite(m_path, error);
}

QString GrowingFile::finish()
{
    if (m_fd < 0)
        return QString();
    const int fd = std::exchange(m_fd, -1);
    // close() is where some file systems (NFS, ones with delayed allocation) report a write that failed.
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(QFile::encodeName(m_hidden).constData());
        return cannotWrite(m_path, error);
    }
    if (std::rename(QFile::encodeName(m_hidden).constData(), QFile::encodeName(m_path).constData()) != 0) {
        const int error = errno;
        ::unlink(QFile::encodeName(m_hidden).constData());
        return cannotWrite(m_path, error);
    }
    return QString();
}

void GrowingFile::abandon()
{
    if (m_fd < 0)
        return;
    ::close(std::exchange(m_fd, -1));
    ::unlink(QFile::encodeName(m_hidden).constData());
}
