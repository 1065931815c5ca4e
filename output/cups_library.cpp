#include "output/cups_library.h"

#include "common/optional_library.h"

namespace {

constexpr OptionalLibrary kCupsLibrary{kCupsLibraryFile,    kCupsLibraryVariable, kCupsLibraryEntryName,
                                       kCupsLibraryVersion, "CUPS queues",        "libcups.so",
                                       "libcups2"};

} // namespace

bool isCupsAddress(const QString& address)
{
    return address.startsWith(QLatin1String("cups:"), Qt::CaseInsensitive) ||
           address.startsWith(QLatin1String("ipp://"), Qt::CaseInsensitive) ||
           address.startsWith(QLatin1String("ipps://"), Qt::CaseInsensitive);
}

QString cupsLibraryFailure(const QString& path, const QString& loaderSays)
{
    return optionalLibraryFailure(kCupsLibrary, path, loaderSays);
}

bool loadCupsLibrary(QString* why)
{
    return loadOptionalEntry<CupsLibraryEntry>(kCupsLibrary, why) != nullptr;
}

std::unique_ptr<Destination> createCupsDestination(const QString& address, const QString& name, QString* error)
{
    const CupsLibraryEntry* library = loadOptionalEntry<CupsLibraryEntry>(kCupsLibrary, error);
    if (!library)
        return nullptr;
    return std::unique_ptr<Destination>(library->createDestination(address, name, error));
}

std::optional<QList<CupsQueueListing>> listCupsQueueNames(const DestinationTimeouts& timeouts, const WaitControl& wait,
                                                          QString* error)
{
    const CupsLibraryEntry* library = loadOptionalEntry<CupsLibraryEntry>(kCupsLibrary, error);
    if (!library)
        return std::nullopt;
    QList<CupsQueueListing> queues;
    if (!library->listQueues(timeouts, wait, &queues, error))
        return std::nullopt;
    return queues;
}

bool queryCupsQueue(const QString& address, std::chrono::milliseconds timeout, const WaitControl& wait,
                    CupsQueueReport* report, QString* error)
{
    const CupsLibraryEntry* library = loadOptionalEntry<CupsLibraryEntry>(kCupsLibrary, error);
    return library && library->queueStatus(address, timeout, wait, report, error);
}
