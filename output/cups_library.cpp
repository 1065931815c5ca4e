#include "output/cups_library.h"

#include "output/safe_text.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <dlfcn.h>
#include <mutex>

namespace {

using EntryFunction = const CupsLibraryEntry* (*)();

// The library's path: from the environment, otherwise beside the library this function is in.
QString libraryPath()
{
    const QString chosen = qEnvironmentVariable(kCupsLibraryVariable);
    if (!chosen.isEmpty())
        return chosen;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryPath), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath() + QLatin1Char('/') +
               QLatin1String(kCupsLibraryFile);
    return QString::fromLatin1(kCupsLibraryFile);
}

struct Loaded
{
    const CupsLibraryEntry* entry = nullptr;
    QString failure;
};

// Loaded once and kept for the life of the program.
const Loaded& loaded()
{
    static Loaded result;
    static std::once_flag once;
    std::call_once(once, [] {
        const QString path = libraryPath();
        void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* says = dlerror();
            result.failure = cupsLibraryFailure(path, QString::fromLocal8Bit(says ? says : ""));
            return;
        }
        const auto entry = reinterpret_cast<EntryFunction>(dlsym(handle, kCupsLibraryEntryName));
        const CupsLibraryEntry* offered = entry ? entry() : nullptr;
        if (!offered || offered->version != kCupsLibraryVersion) {
            result.failure = QStringLiteral("%1 is not the CUPS library of this version of the program (install "
                                            "the package quorlex-label again)")
                                 .arg(visibleForMessage(path));
            return;
        }
        result.entry = offered;
    });
    return result;
}

} // namespace

bool isCupsAddress(const QString& address)
{
    return address.startsWith(QLatin1String("cups:"), Qt::CaseInsensitive) ||
           address.startsWith(QLatin1String("ipp://"), Qt::CaseInsensitive) ||
           address.startsWith(QLatin1String("ipps://"), Qt::CaseInsensitive);
}

QString cupsLibraryFailure(const QString& path, const QString& loaderSays)
{
    // "libcups.so.2: cannot open shared object file: No such file or directory"
    static const QRegularExpression missingLibcups(QStringLiteral("(libcups\\.so[.0-9]*): cannot open"));
    if (const QRegularExpressionMatch match = missingLibcups.match(loaderSays); match.hasMatch())
        return QStringLiteral("CUPS queues need %1, which is missing (install the Debian package libcups2)")
            .arg(match.captured(1));
    if (!QFileInfo::exists(path))
        return QStringLiteral("CUPS queues need %1, which is missing (install the package quorlex-label again)")
            .arg(visibleForMessage(path));
    return QStringLiteral("the CUPS library %1 cannot be loaded: %2")
        .arg(visibleForMessage(path), safeMessageLine(loaderSays, 200));
}

bool loadCupsLibrary(QString* why)
{
    const Loaded& library = loaded();
    if (!library.entry)
        *why = library.failure;
    return library.entry != nullptr;
}

std::unique_ptr<Destination> createCupsDestination(const QString& address, const QString& name, QString* error)
{
    const Loaded& library = loaded();
    if (!library.entry) {
        *error = library.failure;
        return nullptr;
    }
    return std::unique_ptr<Destination>(library.entry->createDestination(address, name, error));
}

std::optional<QList<CupsQueueListing>> listCupsQueueNames(const DestinationTimeouts& timeouts, const WaitControl& wait,
                                                          QString* error)
{
    const Loaded& library = loaded();
    if (!library.entry) {
        *error = library.failure;
        return std::nullopt;
    }
    QList<CupsQueueListing> queues;
    if (!library.entry->listQueues(timeouts, wait, &queues, error))
        return std::nullopt;
    return queues;
}
