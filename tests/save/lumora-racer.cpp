// The attacker of the race test: run as the ordinary user who owns the
// volume's folders, it swaps each named entry of the volume for a link to a
// decoy outside it and back, over and over, while root saves.
//
//   lumora-racer PATH TARGET [PATH TARGET]...
//
// For each PATH (a host path on the volume) a link to TARGET waits at
// PATH.racer. An entry that is there is exchanged with that link
// (renameat2 RENAME_EXCHANGE) and exchanged back once the link is still in
// its place; an entry that is missing gets the link planted, taken away
// again while it is still the link. It never removes a file: whatever a
// save put in the way is moved aside to PATH.racer.N, inside the volume.
// SIGUSR1 pauses it between swaps (it writes "P" when it has stopped with
// every entry back in place), SIGUSR2 lets it go on; SIGTERM ends it. It
// writes "R" once it takes the signals.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

struct Target {
    std::string path;
    std::string link; // where our link waits
    std::string target;
    int displaced = 0;
};

int renameAt2(const std::string &from, const std::string &to, unsigned flags)
{
    return int(::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags));
}

bool isOurLink(const Target &t, const std::string &path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return false;
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    return n > 0 && std::string(buffer, size_t(n)) == t.target;
}

// Our link at its waiting place, moving aside whatever a save left there.
void ensureLink(Target &t)
{
    if (isOurLink(t, t.link))
        return;
    struct stat info {};
    if (::lstat(t.link.c_str(), &info) == 0)
        renameAt2(t.link, t.link + "." + std::to_string(++t.displaced), RENAME_NOREPLACE);
    ::symlink(t.target.c_str(), t.link.c_str());
}

void hold(long nanoseconds)
{
    timespec pause{0, nanoseconds};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

void swapOnce(Target &t, long holdNs)
{
    ensureLink(t);
    struct stat info {};
    if (::lstat(t.path.c_str(), &info) == 0) {
        if (renameAt2(t.path, t.link, RENAME_EXCHANGE) != 0)
            return;
        hold(holdNs);
        // Back only while our link is still where we put it.
        if (isOurLink(t, t.path))
            renameAt2(t.path, t.link, RENAME_EXCHANGE);
    } else {
        if (renameAt2(t.link, t.path, RENAME_NOREPLACE) != 0)
            return;
        hold(holdNs);
        if (isOurLink(t, t.path))
            renameAt2(t.path, t.link, RENAME_NOREPLACE);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || argc % 2 != 1) {
        std::fprintf(stderr, "usage: lumora-racer PATH TARGET [PATH TARGET]...\n");
        return 64;
    }
    std::vector<Target> targets;
    for (int i = 1; i + 1 < argc; i += 2)
        targets.push_back({argv[i], std::string(argv[i]) + ".racer", argv[i + 1]});

    // The signals are taken synchronously, between swaps, so a pause never
    // leaves an entry swapped.
    sigset_t control;
    sigemptyset(&control);
    for (int signal : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT})
        sigaddset(&control, signal);
    ::sigprocmask(SIG_BLOCK, &control, nullptr);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::fputs("R", stdout); // ready for the signals

    // Short holds and short rests: a swap is in place about a third of the
    // time, so that some steps of a save meet it and others get through.
    unsigned seed = unsigned(::getpid());
    bool paused = false;
    for (size_t i = 0;;) {
        const timespec now {};
        const int signal = paused ? ::sigwaitinfo(&control, nullptr) : ::sigtimedwait(&control, nullptr, &now);
        if (signal == SIGTERM || signal == SIGINT)
            break;
        if (signal == SIGUSR1 && !paused) {
            paused = true;
            std::fputs("P", stdout);
        } else if (signal == SIGUSR2) {
            paused = false;
        }
        if (paused)
            continue;
        seed = seed * 1103515245u + 12345u;
        swapOnce(targets[i++ % targets.size()], 20000 + long(seed % 200000));
        hold(40000 + long((seed >> 8) % 400000));
    }
    return 0;
}
