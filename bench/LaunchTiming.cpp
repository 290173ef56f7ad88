// How long a program takes from its start to its first window on the
// screen: starts it, waits on the X server for the first top-level window
// mapped, prints the milliseconds, and stops it.
//
//   DISPLAY=:77 lumora-launch-timing PROGRAM [ARGUMENTS...]
//
// Every program is timed the same way, so the window and a bare Qt window
// can be set side by side (bench/launch-timing.sh runs them interleaved).

#include <X11/Xlib.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

namespace {

double nowMs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: lumora-launch-timing PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "lumora-launch-timing: no X display\n");
        return 1;
    }
    // Without a window manager, top-level windows are the root's children.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const double start = nowMs();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    if (child < 0)
        return 1;

    int status = 1;
    bool exited = false;
    while (status != 0 && !exited) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                std::printf("%.1f\n", nowMs() - start);
                status = 0;
                break;
            }
        }
        if (status == 0)
            break;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        (void)poll(&connection, 1, 100);
        exited = waitpid(child, nullptr, WNOHANG) == child;
    }
    if (exited) {
        std::fprintf(stderr, "lumora-launch-timing: %s ended without showing a window\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    return status;
}
