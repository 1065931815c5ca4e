#include "support/test_files.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void endsWithTest(QProcess& process)
{
    const std::function<void()> before = process.childProcessModifier();
    process.setChildProcessModifier([before] {
        if (before)
            before();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
}
