#include "childprocess.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int execFailed = 127; // the shell's status for a program that cannot be started

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void execChild(const char* program, char* const* argv, int out, int err, pid_t parent)
{
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) // the parent died before the line above
        _exit(execFailed);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(program, argv);
    static const char message[] = "cannot start the program\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    _exit(execFailed);
}

} // namespace

ChildProcess::~ChildProcess()
{
    closeFd(outFd);
    closeFd(errFd);
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

bool ChildProcess::start(const QString& program, const QStringList& arguments, QString* error)
{
    // Everything the child needs is made before the fork.
    std::vector<std::string> args{QFile::encodeName(program).toStdString()};
    for (const QString& a : arguments)
        args.push_back(QFile::encodeName(a).toStdString());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        *error =
            QStringLiteral("cannot make a pipe: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        for (int fd : {out[0], out[1], err[0], err[1]})
            closeFd(fd);
        return false;
    }
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0)
        execChild(argv[0], argv.data(), out[1], err[1], parent);
    const int forkError = errno;
    closeFd(out[1]);
    closeFd(err[1]);
    if (child < 0) {
        closeFd(out[0]);
        closeFd(err[0]);
        *error = QStringLiteral("cannot start %1: %2")
                     .arg(program, QString::fromLocal8Bit(strerror(forkError)));
        return false;
    }
    pid = child;
    outFd = out[0];
    errFd = err[0];
    return true;
}

void ChildProcess::signal(int number)
{
    if (pid > 0)
        ::kill(pid, number);
}

void ChildProcess::readInto(int& fd, QByteArray& buffer)
{
    if (fd < 0)
        return;
    char chunk[65536];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0)
        buffer.append(chunk, int(n));
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        closeFd(fd);
}

void ChildProcess::readOutput()
{
    readInto(outFd, outBuffer);
}

void ChildProcess::readError()
{
    readInto(errFd, errBuffer);
}

QList<QByteArray> ChildProcess::takeLines(QByteArray& buffer, bool ended)
{
    QList<QByteArray> lines;
    int start = 0;
    for (int end = buffer.indexOf('\n'); end >= 0; end = buffer.indexOf('\n', start)) {
        lines.append(buffer.mid(start, end - start));
        start = end + 1;
    }
    buffer.remove(0, start);
    if (ended && !buffer.isEmpty()) {
        lines.append(buffer);
        buffer.clear();
    }
    return lines;
}

bool ChildProcess::reap()
{
    if (pid <= 0 || outFd >= 0 || errFd >= 0)
        return false;
    int raw = 0;
    const pid_t done = waitpid(pid, &raw, WNOHANG);
    if (done != pid)
        return false;
    status = WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
    pid = -1;
    return true;
}
