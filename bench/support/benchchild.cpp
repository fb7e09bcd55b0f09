#include "benchchild.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace benchchild
{
namespace
{
constexpr std::chrono::milliseconds samplingPeriod(100);

// Calls `sample` with the child's pid every samplingPeriod, on a thread of its own, until stopped.
class Sampler
{
public:
    Sampler(pid_t pid, const std::function<void(pid_t)>& sample)
    {
        if (sample)
            thread = std::thread([this, pid, sample] { loop(pid, sample); });
    }
    ~Sampler() { stop(); }
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    void stop()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        woken.notify_all();
        if (thread.joinable())
            thread.join();
    }

private:
    void loop(pid_t pid, const std::function<void(pid_t)>& sample)
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping) {
            lock.unlock();
            sample(pid);
            lock.lock();
            woken.wait_for(lock, samplingPeriod, [this] { return stopping; });
        }
    }

    std::mutex mutex;
    std::condition_variable woken;
    bool stopping = false;
    std::thread thread;
};

// Blocks until the child has ended, leaving it unreaped: its pid stays its own meanwhile.
bool waitForEnd(pid_t pid)
{
    siginfo_t info{};
    for (;;) {
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}
} // namespace

double cpuSeconds(const rusage& u)
{
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Run run(const std::string& program, const std::vector<std::string>& arguments,
        const std::function<void(pid_t)>& whileRunning)
{
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Run result;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    // The end is waited for apart from the sampling, so that the time measured is the child's own
    // and not rounded up to the next sample.
    Sampler sampler(pid, whileRunning);
    const bool ended = waitForEnd(pid);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sampler.stop();
    int status = 0;
    rusage usage{};
    pid_t done;
    do
        done = wait4(pid, &status, 0, &usage);
    while (done < 0 && errno == EINTR);
    if (!ended || done != pid)
        return result;
    result.seconds = seconds;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.cpu = cpuSeconds(usage);
    return result;
}

} // namespace benchchild
