#include "countsignals.h"

#include <atomic>
#include <csignal>
#include <initializer_list>
#include <signal.h>

namespace
{
std::atomic<int> caught{0};
std::atomic<int> repeated{0};
// An impatient second Ctrl-C still gets the summary (the run stops after the current frame
// anyway); only a third one means the run is stuck.
constexpr int signalsBeforeEndingAtOnce = 3;

extern "C" void onStopSignal(int signal)
{
    int none = 0;
    if (caught.compare_exchange_strong(none, signal))
        return;
    if (repeated.fetch_add(1) + 2 < signalsBeforeEndingAtOnce)
        return;
    // The default action, which ends the process.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
} // namespace

void installStopSignals()
{
    // A reader that goes away (`| head`) makes writes fail, which the run reports, instead of
    // killing it between two frames with its lock and unfinished files left behind. Children
    // started later inherit this.
    std::signal(SIGPIPE, SIG_IGN);
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
