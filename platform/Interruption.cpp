#include "platform/Interruption.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <initializer_list>

namespace {

volatile sig_atomic_t g_signal = 0;
volatile sig_atomic_t g_count = 0;
int g_pipe[2] = {-1, -1};

void note(int signal)
{
    const int saved = errno;
    g_signal = signal;
    g_count = g_count + 1;
    if (g_pipe[1] >= 0) {
        const char byte = char(signal);
        (void)!::write(g_pipe[1], &byte, 1); // a full pipe already says enough
    }
    errno = saved;
}

} // namespace

namespace Interruption {

void install()
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_pipe[0] = g_pipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = note;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int requested()
{
    return g_signal;
}

int count()
{
    return g_count;
}

int notifierFd()
{
    return g_pipe[0];
}

void drain()
{
    if (g_pipe[0] < 0)
        return;
    char buffer[64];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
}

void leaveBySignal(int signal)
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
}

void reset()
{
    g_signal = 0;
    drain();
}

} // namespace Interruption
