#pragma once

#include <QString>

// A library of the program's own that is loaded only when what it serves is first used, so that neither
// program loads what it brings (libcups, QtSerialPort, QtGui) at every start. It sits beside the output
// library: in the build folder, or in the programs' private library folder once installed.
struct OptionalLibrary
{
    const char* file;              // "libquorlex-label-cups.so"
    const char* pathVariable;      // names a path to load in its place (tests, a library built elsewhere)
    const char* entryName;         // the function that returns its entry; the entry's first member is the version
    int version;                   // of the entry the program was built with, to tell a stale copy
    const char* serves;            // "CUPS queues": what needs it, in messages
    const char* dependency;        // the start of the file name of the library it needs: "libcups.so"
    const char* dependencyPackage; // the Debian package that brings it: "libcups2"
};

// Loads `library` once and keeps it loaded. The entry, or null with `failure` set to why it cannot be loaded,
// in words that name the missing file and the package to install.
const void* loadOptionalLibrary(const OptionalLibrary& library, QString* failure);

// The same, with the entry as the type the library's header declares.
template <typename Entry> const Entry* loadOptionalEntry(const OptionalLibrary& library, QString* failure)
{
    return static_cast<const Entry*>(loadOptionalLibrary(library, failure));
}

// Why loading `path` failed, from what the dynamic loader said.
QString optionalLibraryFailure(const OptionalLibrary& library, const QString& path, const QString& loaderSays);
