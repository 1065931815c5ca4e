#include "batch/batch_run.h"
#include "batch/interrupt_flag.h"
#include "batch/preview_library.h"
#include "batch/standard_stream.h"
#include "output/destination.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

// A standard stream the caller closed gets /dev/null in its place, so that no file this run opens takes
// its number: standard output read-only, so that writing to it still fails as it would have.
void fillClosed(int fd, int flags)
{
    if (!isOpen(fd)) {
        const int opened = ::open("/dev/null", flags);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

bool wantsPreview(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--preview") == 0 || std::strncmp(argv[i], "--preview=", 10) == 0)
            return true;
    }
    return false;
}

// Without --preview the batch is a QtCore program. With it, the preview library makes the application the
// pictures need; when that library cannot be loaded, the run says why once it has read its options.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char* argv[])
{
    if (wantsPreview(argc, argv)) {
        if (const PreviewLibraryEntry* preview = previewLibrary(nullptr))
            return std::unique_ptr<QCoreApplication>(preview->makeApplication(argc, argv));
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char* argv[])
{
    const bool inputClosed = !isOpen(STDIN_FILENO);
    fillClosed(STDIN_FILENO, O_RDONLY);
    fillClosed(STDOUT_FILENO, O_RDONLY);
    fillClosed(STDERR_FILENO, O_WRONLY);
    // A reader of standard output or a printer that goes away is a failed write, not the end of the program.
    ignoreBrokenPipes();
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorlex-label-batch"));

    StandardStream in(STDIN_FILENO, QIODevice::ReadOnly);
    StandardStream out(STDOUT_FILENO, QIODevice::WriteOnly);
    StandardStream err(STDERR_FILENO, QIODevice::WriteOnly);

    BatchEnvironment environment;
    // Once Ctrl-C has been caught, a stream whose reader takes nothing no longer holds the program: the
    // write is given up after a short wait instead of blocking for as long as the reader sleeps.
    out.setStopCheck(interruptRequested);
    err.setStopCheck(interruptRequested);
    environment.standardInput = inputClosed ? nullptr : &in;
    environment.standardOutput = &out;
    environment.standardError = &err;
    environment.errorIsTerminal = ::isatty(STDERR_FILENO) == 1;
    environment.startingToSend = armInterruptFlag;
    environment.stopRequested = interruptRequested;
    environment.stopCause = [] { return QString::fromLatin1(interruptName()); };
    return runBatch(QCoreApplication::arguments().mid(1), environment);
}
