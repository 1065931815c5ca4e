#include "batch/interrupt_flag.h"

#include <csignal>

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
}

bool interruptRequested()
{
    return g_interrupted != 0;
}
