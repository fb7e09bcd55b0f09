#include "countsignals.h"

#include <atomic>
#include <csignal>
#include <initializer_list>
#include <signal.h>

namespace
{
std::atomic<int> caught{0};

extern "C" void onStopSignal(int signal)
{
    int none = 0;
    if (caught.compare_exchange_strong(none, signal))
        return;
    // The second one: the default action, which ends the process.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
} // namespace

void installStopSignals()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action = {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

int stopSignal()
{
    return caught.load();
}
