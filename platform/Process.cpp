#include "platform/Process.h"

#include "platform/Interruption.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace Process {

std::optional<pid_t> spawn(const QByteArray &path, const std::vector<QByteArray> &arguments, int stdinFd,
                           bool discardOutput, int stdoutFd, int stderrFd)
{
    std::vector<char *> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char *>(path.constData()));
    for (const QByteArray &a : arguments)
        argv.push_back(const_cast<char *>(a.constData()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    if (stderrFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    if (discardOutput) {
        if (stdoutFd < 0)
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        if (stderrFd < 0)
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return std::nullopt;
    return pid;
}

namespace {

// Blocks until the child can be reaped or one of our stop signals arrives;
// true when it is time to reap. Without a process descriptor (an old
// kernel) waitpid itself is what the signal interrupts.
bool awaitEndOrSignal(int pidfd, int signalsBefore)
{
    const int notifier = Interruption::notifierFd();
    while (Interruption::count() == signalsBefore) {
        if (pidfd < 0)
            return true;
        pollfd fds[2] = {{pidfd, POLLIN, 0}, {notifier, POLLIN, 0}};
        if (::poll(fds, notifier >= 0 ? 2 : 1, -1) < 0 && errno != EINTR)
            return true;
        if (fds[0].revents)
            return true;
        if (notifier >= 0 && fds[1].revents)
            Interruption::drain();
    }
    return false;
}

} // namespace

ExitStatus waitFor(pid_t pid)
{
    ExitStatus status;
    // A tool started after a stop signal is part of undoing a step and runs
    // to its end; one that is running when the signal comes is ended, so
    // that the step can be undone once it has gone.
    const int signalsBefore = Interruption::count();
    const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    bool ended = false;
    int raw = 0;
    pid_t r;
    for (;;) {
        if (!ended && !awaitEndOrSignal(pidfd, signalsBefore)) {
            ::kill(pid, SIGTERM);
            ended = true;
        }
        r = ::waitpid(pid, &raw, 0);
        if (r < 0 && errno == EINTR)
            continue;
        break;
    }
    if (pidfd >= 0)
        ::close(pidfd);
    if (r != pid)
        return status;
    if (WIFEXITED(raw)) {
        status.exited = true;
        status.code = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
        status.code = WTERMSIG(raw);
    }
    return status;
}

std::optional<pid_t> spawnWithInput(const QByteArray &path, const std::vector<QByteArray> &arguments,
                                    const QByteArray &input, bool discardOutput)
{
    // A pipe holds at least 4 KiB (POSIX); Linux gives 64 KiB.
    if (input.size() > 4096)
        return std::nullopt;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    const char *p = input.constData();
    qsizetype left = input.size();
    bool written = true;
    while (left > 0) {
        const ssize_t n = ::write(fds[1], p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            written = false;
            break;
        }
        p += n;
        left -= n;
    }
    ::close(fds[1]);
    std::optional<pid_t> pid;
    if (written)
        pid = spawn(path, arguments, fds[0], discardOutput);
    ::close(fds[0]);
    return pid;
}

ExitStatus run(const QByteArray &path, const std::vector<QByteArray> &arguments, bool discardOutput)
{
    const auto pid = spawn(path, arguments, -1, discardOutput);
    if (!pid)
        return {};
    return waitFor(*pid);
}

} // namespace Process
