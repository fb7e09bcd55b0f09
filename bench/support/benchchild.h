#pragma once

#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

// Runs the command under test as a child process, its standard output discarded, and times it.
namespace benchchild
{
struct Run {
    int exitStatus = -1; // 128 + N when killed by signal N; -1 when it could not start
    double seconds = 0;  // elapsed
    double cpu = 0;      // processor seconds of the child and the children it waited for
};

// `whileRunning`, when given, is called with the child's pid every 100 ms on a thread of its
// own, from the start until the child has ended (it may see the child just ended).
Run run(const std::string& program, const std::vector<std::string>& arguments,
        const std::function<void(pid_t)>& whileRunning = {});

// User and system time of `usage`, in seconds.
double cpuSeconds(const rusage& usage);
} // namespace benchchild
