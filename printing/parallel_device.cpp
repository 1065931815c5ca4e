#include "printing/parallel_device.h"

ParallelDevice::~ParallelDevice()
{
    file_.close();
}

bool ParallelDevice::open(const QString& path)
{
    file_.close();
    file_.setFileName(path);
    // Unbuffered, so that a device error shows at the write that meets it.
    constexpr QIODevice::OpenMode mode =
        QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Truncate | QIODevice::Unbuffered;
    if (!file_.open(mode)) {
        error_ = QStringLiteral("cannot open %1: %2").arg(path, file_.errorString());
        return false;
    }
    return true;
}

bool ParallelDevice::write(const QByteArray& bytes)
{
    const QString why = writeWhole(file_, bytes);
    if (why.isEmpty())
        return true;
    error_ = QStringLiteral("cannot write to %1: %2").arg(file_.fileName(), why);
    return false;
}

bool ParallelDevice::close()
{
    if (!file_.isOpen())
        return true;
    file_.unsetError();
    file_.close();
    if (file_.error() != QFileDevice::NoError) {
        error_ = QStringLiteral("cannot close %1: %2").arg(file_.fileName(), file_.errorString());
        return false;
    }
    return true;
}

QString writeWhole(QIODevice& device, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = device.write(bytes.constData() + done, bytes.size() - done);
        if (written < 0)
            return device.errorString();
        if (written == 0)
            return QStringLiteral("the device took %1 of %2 bytes and no more").arg(done).arg(bytes.size());
        done += written;
    }
    return {};
}
