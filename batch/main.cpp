#include "batch/batch_run.h"
#include "batch/interrupt_flag.h"
#include "printing/destination.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    // A reader of standard output or a printer that goes away is a failed write, not the end of the program.
    ignoreBrokenPipes();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorlex-label-batch"));

    QFile in;
    QFile out;
    QFile err;
    in.open(stdin, QIODevice::ReadOnly);
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly);

    BatchEnvironment environment;
    environment.standardInput = &in;
    environment.standardOutput = &out;
    environment.standardError = &err;
    environment.errorIsTerminal = ::isatty(STDERR_FILENO) == 1;
    environment.startingToSend = armInterruptFlag;
    environment.stopRequested = interruptRequested;
    return runBatch(QCoreApplication::arguments().mid(1), environment);
}
