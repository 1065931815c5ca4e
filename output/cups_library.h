#pragma once

#include "output/destination.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// CUPS queues are reached through a library of their own, loaded when a CUPS address is first used, so that
// neither program brings libcups (and GnuTLS, Kerberos and Avahi with it) into every start. It sits beside
// the output library: in the build folder, or in the programs' private library folder once installed.

inline constexpr char kCupsLibraryFile[] = "libquorlex-label-cups.so";
// A path to load in place of the library beside the output library (tests, a library built elsewhere).
inline constexpr char kCupsLibraryVariable[] = "QUORLEX_LABEL_CUPS_LIBRARY";

// Whether `address` is written as a CUPS queue (cups:, ipp:// or ipps://), good or bad.
bool isCupsAddress(const QString& address);

// Loads the library if it is not loaded yet; false, with `why` set, when it cannot be loaded.
bool loadCupsLibrary(QString* why);

// The queue `address` names as a destination; null, with `error` set, when the address is not good or the
// CUPS library cannot be loaded (the error names the missing file and the package that brings it).
std::unique_ptr<Destination> createCupsDestination(const QString& address, const QString& name, QString* error);

struct CupsQueueListing
{
    QString name;
    QString description; // "idle, accepting jobs"
};

// The queues of the CUPS server the user's set-up names, in the server's order; nullopt, with `error` set,
// when the library cannot be loaded or no server answered within connect + service time.
std::optional<QList<CupsQueueListing>> listCupsQueueNames(const DestinationTimeouts& timeouts, const WaitControl& wait,
                                                          QString* error);

// What a CUPS queue says of itself.
struct CupsQueueReport
{
    bool stopped = false;
    bool accepting = false;
    QStringList reasons; // printer-state-reasons without "none", made printable
    QString message;     // printer-state-message, made printable and bounded
    QString description; // "idle, accepting jobs" or "stopped, not accepting jobs: Out of labels (paused)"
};

// Asks the queue `address` names for its state, state reasons and message within `timeout`; false, with
// `error` set, when the library cannot be loaded, the address is not good or the server did not answer.
bool queryCupsQueue(const QString& address, std::chrono::milliseconds timeout, const WaitControl& wait,
                    CupsQueueReport* report, QString* error);

// Why loading failed, in words that name the file that is missing and the package to install, from what the
// dynamic loader said when loading `path`.
QString cupsLibraryFailure(const QString& path, const QString& loaderSays);

// What the CUPS library offers; it and the programs are built together, and `version` tells a stale copy.
struct CupsLibraryEntry
{
    int version;
    Destination* (*createDestination)(const QString& address, const QString& name, QString* error);
    bool (*listQueues)(const DestinationTimeouts& timeouts, const WaitControl& wait, QList<CupsQueueListing>* queues,
                       QString* error);
    bool (*queueStatus)(const QString& address, std::chrono::milliseconds timeout, const WaitControl& wait,
                        CupsQueueReport* report, QString* error);
};
inline constexpr int kCupsLibraryVersion = 2;
inline constexpr char kCupsLibraryEntryName[] = "quorlex_label_cups_entry";
