// orvane-import: brings the recordings of a camera's card into a working folder, headless.
#include "importcommand.h"

#include <QCoreApplication>
#include <QStringList>
#include <atomic>
#include <csignal>
#include <iostream>
#include <unistd.h>

namespace
{

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void requestStop(int)
{
    stopRequested = true;
}

// SIGINT, SIGTERM and SIGHUP (a closed terminal) only ask the run to stop: it then removes what it
// was writing and ends.
void installStopHandlers()
{
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    installStopHandlers();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return importMain(arguments,
                      {std::cout, std::cerr, isatty(STDERR_FILENO) == 1, &stopRequested});
}
