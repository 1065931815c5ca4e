#include "batch/interrupt_flag.h"

#include <csignal>
#include <pthread.h>

namespace {

volatile std::sig_atomic_t g_interrupted = 0; // the signal that stopped the run, 0 before any

extern "C" void onInterrupt(int signal)
{
    if (g_interrupted == 0)
        g_interrupted = signal;
}

} // namespace

void armInterruptFlag()
{
    struct sigaction action
    {
    };
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a write blocked on a reader that stopped reading returns, so that the run sees the flag
    // instead of waiting for that reader. Every write loop retries EINTR after looking at the flag.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A program started from a shell or service that blocks these signals inherits the blocked mask; Ctrl-C
    // must reach the run all the same.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
}

bool interruptRequested()
{
    return g_interrupted != 0;
}

const char* interruptName()
{
    return g_interrupted == SIGTERM ? "SIGTERM" : "Ctrl-C";
}
