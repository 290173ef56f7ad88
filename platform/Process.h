#pragma once

#include <QByteArray>

#include <sys/types.h>

#include <optional>
#include <vector>

// Starting programs without a shell, and waiting for one particular child.
namespace Process {

// Starts `path` with argv[0] = path and the given arguments, standard input
// from /dev/null unless `stdinFd` is given, output inherited (or to
// `stdoutFd` and `stderrFd`). Returns the child's pid, or nothing when it
// could not be started.
[[nodiscard]] std::optional<pid_t> spawn(const QByteArray &path, const std::vector<QByteArray> &arguments,
                                         int stdinFd = -1, bool discardOutput = false, int stdoutFd = -1,
                                         int stderrFd = -1);

struct ExitStatus {
    bool exited = false; // false: killed by a signal, or the wait failed
    int code = -1;       // exit code, or the signal number
    [[nodiscard]] bool succeeded() const { return exited && code == 0; }
};

// Waits for that child only (never "whichever child ends first").
[[nodiscard]] ExitStatus waitFor(pid_t pid);

// spawn + waitFor.
[[nodiscard]] ExitStatus run(const QByteArray &path, const std::vector<QByteArray> &arguments,
                             bool discardOutput = false);

// Starts `path` with `input` waiting on its standard input, which then ends.
// The bytes are in the pipe before the child starts, so writing never
// blocks on it nor dies of SIGPIPE when the child leaves early; `input` must
// fit in a pipe (a password does). Nothing when it could not be started.
[[nodiscard]] std::optional<pid_t> spawnWithInput(const QByteArray &path, const std::vector<QByteArray> &arguments,
                                                  const QByteArray &input, bool discardOutput = false);

} // namespace Process
