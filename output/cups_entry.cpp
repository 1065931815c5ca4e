// What the CUPS library offers to the programs that load it.
#include "output/cups_destination.h"
#include "output/cups_library.h"

namespace {

Destination* createDestination(const QString& address, const QString& name, QString* error)
{
    CupsAddress queue;
    const QString why = parseCupsAddress(address, &queue);
    if (!why.isEmpty()) {
        *error = why;
        return nullptr;
    }
    return new CupsDestination(queue, name);
}

bool listQueues(const DestinationTimeouts& timeouts, const WaitControl& wait, QList<CupsQueueListing>* queues,
                QString* error)
{
    const std::optional<QList<CupsQueueState>> states = listCupsQueues(timeouts, wait, error);
    if (!states)
        return false;
    for (const CupsQueueState& state : *states)
        queues->append({state.name, state.describe()});
    return true;
}

constexpr CupsLibraryEntry kEntry{kCupsLibraryVersion, &createDestination, &listQueues, &cupsQueueStatus};

} // namespace

extern "C" __attribute__((visibility("default"))) const CupsLibraryEntry* quorlex_label_cups_entry()
{
    return &kEntry;
}
