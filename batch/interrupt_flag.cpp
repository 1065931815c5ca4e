#include "batch/interrupt_flag.h"

#include <csignal>
#include <pthread.h>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
}

} // namespace

void armInterruptFlag()
{
    struct sigaction action
    {
    };
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // a write under way goes on instead of failing
    sigaction(SIGINT, &action, nullptr);
    // A program started from a shell or service that blocks SIGINT inherits the blocked mask; Ctrl-C must
    // reach the run all the same.
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);
}

bool interruptRequested()
{
    return g_interrupted != 0;
}
