#include "common/folders.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

QString makeFolder(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return QStringLiteral("it is not a folder");
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    return error ? QString::fromLocal8Bit(error.message()) : QString();
}
