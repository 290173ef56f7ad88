#include "platform/TerminalPasswordPrompt.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_interrupted = 0;

void noteInterrupt(int signal)
{
    g_interrupted = signal;
}

void writeText(int fd, const QByteArray &text)
{
    const char *p = text.constData();
    qsizetype left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= n;
    }
}

} // namespace

TerminalPasswordPrompt::TerminalPasswordPrompt(QString terminalPath) : m_terminalPath(std::move(terminalPath)) {}

std::optional<QByteArray> TerminalPasswordPrompt::askPassword(const QString &reason, const QString &complaint)
{
    const int fd = ::open(QFile::encodeName(m_terminalPath).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct termios saved {};
    if (::tcgetattr(fd, &saved) != 0) {
        ::close(fd);
        return std::nullopt;
    }

    // Ctrl-C while echo is off must not leave the terminal without echo:
    // catch it, put the terminal back, then let it have its usual effect.
    struct sigaction catcher {};
    catcher.sa_handler = noteInterrupt;
    sigemptyset(&catcher.sa_mask);
    catcher.sa_flags = 0; // no SA_RESTART: the read below must return
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    g_interrupted = 0;
    ::sigaction(SIGINT, &catcher, &oldInt);
    ::sigaction(SIGTERM, &catcher, &oldTerm);

    struct termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL);
    quiet.c_lflag |= ICANON;
    ::tcsetattr(fd, TCSAFLUSH, &quiet);

    // The reason once; a retry says only what sudo says.
    writeText(fd, complaint.isEmpty() ? reason.toUtf8() + "\nPassword: " : complaint.toUtf8() + "\nPassword: ");

    // Reserved once, so no reallocation leaves a copy of it behind.
    constexpr qsizetype kMaxLength = 4096;
    QByteArray password;
    password.reserve(kMaxLength);
    bool complete = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR && !g_interrupted)
            continue;
        if (n <= 0)
            break; // end of input, an error or an interrupt: no answer
        if (c == '\n' || c == '\r') {
            complete = true;
            break;
        }
        if (password.size() >= kMaxLength)
            continue; // longer than any password sudo takes; drop the rest
        password.append(c);
    }

    ::tcsetattr(fd, TCSAFLUSH, &saved);
    writeText(fd, "\n");
    ::close(fd);
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);

    if (!complete) {
        ::explicit_bzero(password.data(), size_t(password.size()));
        if (g_interrupted)
            ::raise(g_interrupted);
        return std::nullopt;
    }
    return password;
}
