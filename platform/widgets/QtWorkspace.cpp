#include "platform/widgets/QtWorkspace.h"

#include "platform/Process.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <optional>
#include <thread>
#include <vector>
#include <sys/wait.h>

namespace {

constexpr std::chrono::milliseconds kPollInterval{20};

// The opener and its arguments for `address`, looked up as Qt looks them
// up: xdg-open on the PATH, else the first command of $DEFAULT_BROWSER or
// $BROWSER, with "%s" standing for the address or the address appended.
std::optional<std::vector<QByteArray>> opener(const QByteArray &address)
{
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!xdgOpen.isEmpty())
        return std::vector<QByteArray>{QFile::encodeName(xdgOpen), address};
    QString variable = qEnvironmentVariable("DEFAULT_BROWSER");
    if (variable.isEmpty())
        variable = qEnvironmentVariable("BROWSER");
    QStringList words = QProcess::splitCommand(variable.section(QLatin1Char(':'), 0, 0));
    if (words.isEmpty())
        return std::nullopt;
    const QString program = QStandardPaths::findExecutable(words.takeFirst());
    if (program.isEmpty())
        return std::nullopt;
    std::vector<QByteArray> command{QFile::encodeName(program)};
    bool placed = false;
    for (const QString &word : words) {
        QByteArray argument = word.toLocal8Bit();
        if (argument.contains("%s")) {
            argument.replace("%s", address);
            placed = true;
        }
        command.push_back(argument);
    }
    if (!placed)
        command.push_back(address);
    return command;
}

bool runAndWatch(const std::vector<QByteArray> &command, std::chrono::milliseconds settle)
{
    const auto pid = Process::spawn(command.front(), {command.begin() + 1, command.end()}, -1, true);
    if (!pid)
        return false;
    const auto until = std::chrono::steady_clock::now() + settle;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(*pid, &status, WNOHANG);
        if (r == *pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (r < 0 && errno != EINTR)
            return true; // reaped elsewhere: it started, and nothing says it failed
        if (std::chrono::steady_clock::now() >= until)
            break;
        std::this_thread::sleep_for(kPollInterval);
    }
    // Still running, a browser in front of it: reaped when it ends, and left
    // running when the application quits.
    std::thread([pid = *pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

} // namespace

bool QtWorkspace::openUrl(const QUrl &url)
{
    if (const auto command = opener(url.toEncoded()))
        return runAndWatch(*command, m_settle);
    if (QThread::currentThread() == qApp->thread())
        return QDesktopServices::openUrl(url);
    bool opened = false;
    QMetaObject::invokeMethod(
        qApp, [&] { opened = QDesktopServices::openUrl(url); }, Qt::BlockingQueuedConnection);
    return opened;
}
