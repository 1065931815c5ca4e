#include "common/optional_library.h"

#include "common/safe_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <dlfcn.h>
#include <mutex>

namespace {

using EntryFunction = const void* (*)();

// The library's path: from its variable, otherwise beside the library this function is in.
QString pathOf(const OptionalLibrary& library)
{
    const QString chosen = qEnvironmentVariable(library.pathVariable);
    if (!chosen.isEmpty())
        return chosen;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&pathOf), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath() + QLatin1Char('/') +
               QLatin1String(library.file);
    return QString::fromLatin1(library.file);
}

struct Loaded
{
    const void* entry = nullptr;
    QString failure;
};

Loaded load(const OptionalLibrary& library)
{
    Loaded result;
    const QString path = pathOf(library);
    void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    // Not beside the code that asks (a program that links this library statically, installed in bin/): where
    // the package puts the programs' private libraries, as seen from that program.
    if (!handle && qEnvironmentVariableIsEmpty(library.pathVariable) && !QFileInfo::exists(path)) {
        const QFileInfo beside(path);
        const QString installed = QDir::cleanPath(
            beside.absolutePath() + QStringLiteral("/" QUORLEX_PRIVATE_LIBDIR_FROM_BIN "/") + beside.fileName());
        handle = dlopen(QFile::encodeName(installed).constData(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle) {
        const char* says = dlerror();
        result.failure = optionalLibraryFailure(library, path, QString::fromLocal8Bit(says ? says : ""));
        return result;
    }
    const auto entry = reinterpret_cast<EntryFunction>(dlsym(handle, library.entryName));
    const void* offered = entry ? entry() : nullptr;
    if (!offered || *static_cast<const int*>(offered) != library.version) {
        dlclose(handle);
        result.failure = QStringLiteral("%1 is not the library of this version of the program (install the package "
                                        "quorlex-label again)")
                             .arg(visibleForMessage(path));
        return result;
    }
    result.entry = offered;
    return result;
}

} // namespace

const void* loadOptionalLibrary(const OptionalLibrary& library, QString* failure)
{
    static std::mutex mutex;
    static QHash<QByteArray, Loaded> loaded;
    const std::lock_guard lock(mutex);
    const QByteArray key(library.file);
    auto found = loaded.find(key);
    if (found == loaded.end())
        found = loaded.insert(key, load(library));
    if (!found->entry && failure)
        *failure = found->failure;
    return found->entry;
}

QString optionalLibraryFailure(const OptionalLibrary& library, const QString& path, const QString& loaderSays)
{
    // "libcups.so.2: cannot open shared object file: No such file or directory"
    const QString dependency = QLatin1String(library.dependency);
    const qsizetype at = loaderSays.indexOf(dependency);
    if (at >= 0 && loaderSays.indexOf(QLatin1String(": cannot open"), at) > at) {
        const QString name = loaderSays.mid(at, loaderSays.indexOf(QLatin1Char(':'), at) - at);
        return QStringLiteral("%1 need %2, which is missing (install the Debian package %3)")
            .arg(QLatin1String(library.serves), visibleForMessage(name), QLatin1String(library.dependencyPackage));
    }
    if (!QFileInfo::exists(path))
        return QStringLiteral("%1 need %2, which is missing (install the package quorlex-label again)")
            .arg(QLatin1String(library.serves), visibleForMessage(path));
    return QStringLiteral("the library %1 cannot be loaded: %2")
        .arg(visibleForMessage(path), safeMessageLine(loaderSays, 200));
}
