#include "privileged/Authorization.h"

#include "platform/AlertPanel.h"
#include "platform/Log.h"
#include "platform/PasswordPrompt.h"
#include "platform/Process.h"
#include "platform/UniqueFd.h"

#include <QCoreApplication>

#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace {

const QByteArray kAdminRight = QByteArrayLiteral("system.privilege.admin");

// Used only when main installed no runner: every request is refused, so a
// save fails honestly instead of pretending.
class RefusingService final : public AuthorizationService {
public:
    std::int32_t create(std::uint32_t) override { return kSuccess; }
    std::int32_t copyRights(const std::vector<RightsItem> &, std::uint32_t) override { return kInternal; }
    std::int32_t executeWithPrivileges(const QByteArray &, std::uint32_t, const std::vector<QByteArray> &,
                                       std::int64_t *, const Streams &) override
    {
        return kDenied;
    }
    void free(std::uint32_t) override {}
};

std::unique_ptr<Authorization> &sharedTask()
{
    static std::unique_ptr<Authorization> instance;
    return instance;
}

std::vector<AuthorizationService::RightsItem> rightsFor(const QString &tool1,
                                                        const std::optional<QString> &tool2)
{
    std::vector<AuthorizationService::RightsItem> items;
    items.push_back({kAdminRight, tool1.toLocal8Bit(), 0});
    if (tool2)
        items.push_back({kAdminRight, tool2->toLocal8Bit(), 0});
    return items;
}

std::vector<QByteArray> encoded(const QStringList &arguments)
{
    std::vector<QByteArray> bytes;
    bytes.reserve(size_t(arguments.size()));
    for (const QString &argument : arguments)
        bytes.push_back(argument.toLocal8Bit());
    return bytes;
}

bool waitForTool(const QString &tool, std::int64_t pid);

// A tool's standard error, kept in memory (unless the caller sends it
// somewhere itself) and logged, bounded, when the tool fails.
class ToolMessages {
public:
    explicit ToolMessages(const AuthorizationService::Streams &streams) : m_streams(streams)
    {
        if (m_streams.error < 0) {
            m_memory = UniqueFd(::memfd_create("lumora-tool-messages", MFD_CLOEXEC));
            m_streams.error = m_memory.get();
        }
    }
    [[nodiscard]] const AuthorizationService::Streams &streams() const { return m_streams; }

    void log(const QString &tool) const
    {
        if (!m_memory)
            return;
        constexpr qsizetype kMost = 2000;
        QByteArray said(kMost + 1, Qt::Uninitialized);
        const ssize_t n = ::pread(m_memory.get(), said.data(), size_t(said.size()), 0);
        said.truncate(n > 0 ? qsizetype(n) : 0);
        QString text = QString::fromLocal8Bit(said).trimmed();
        if (text.isEmpty())
            return;
        if (text.size() > kMost)
            text = text.left(kMost) + QStringLiteral("…");
        text.replace(QLatin1Char('\n'), QStringLiteral(" / "));
        Log::write(QStringLiteral("Tool '%1' said: %2").arg(tool, text));
    }

private:
    AuthorizationService::Streams m_streams;
    UniqueFd m_memory;
};

} // namespace

Authorization::Authorization(std::unique_ptr<AuthorizationService> service, AlertPanel *alerts,
                             QObject *parent)
    : QObject(parent), m_service(std::move(service)), m_alerts(alerts)
{
}

Authorization::~Authorization()
{
    deauthenticate();
}

Authorization &Authorization::sharedInstance()
{
    auto &shared = sharedTask();
    if (!shared)
        shared = std::make_unique<Authorization>(std::make_unique<RefusingService>(), nullptr);
    return *shared;
}

void Authorization::install(std::unique_ptr<Authorization> shared)
{
    sharedTask() = std::move(shared);
}

void Authorization::releaseShared()
{
    if (auto &shared = sharedTask())
        shared->deauthenticate();
}

bool Authorization::isAuthenticatedForTool(const QString &tool1, const std::optional<QString> &tool2)
{
    if (!m_hasReference)
        m_hasReference = m_service->create(AuthorizationService::kDefaults) == AuthorizationService::kSuccess;
    // Without a reference there is nothing to hold the right; creation is
    // tried again at the next check.
    if (!m_hasReference)
        return false;
    const auto status = m_service->copyRights(rightsFor(tool1, tool2), AuthorizationService::kExtendRights);
    return status == AuthorizationService::kSuccess;
}

bool Authorization::haveUserAuthenticateForTool(const QString &tool1, const std::optional<QString> &tool2)
{
    // The silent check that precedes this made the reference.
    if (!m_hasReference)
        return false;
    const auto status = m_service->copyRights(
        rightsFor(tool1, tool2), AuthorizationService::kInteractionAllowed | AuthorizationService::kExtendRights);
    m_lastRequest = status;
    if (status != AuthorizationService::kSuccess)
        return false;
    emit UserAuthenticatedNotification(this);
    return true;
}

bool Authorization::authenticateForTool(const QString &tool1, const std::optional<QString> &tool2)
{
    m_lastRequest = AuthorizationService::kSuccess;
    const bool needed = !isAuthenticatedForTool(tool1, tool2);
    // The user already said no in this run: asking again would only repeat
    // the question they answered.
    const bool asked = needed && m_declined == AuthorizationService::kSuccess;
    if (asked)
        (void)haveUserAuthenticateForTool(tool1, tool2);
    else if (needed)
        m_lastRequest = m_declined;
    const bool held = isAuthenticatedForTool(tool1, tool2);
    if (!held) {
        Log::write(QStringLiteral("User failed to authenticate for tools '%1' and '%2'")
                       .arg(tool1, tool2.value_or(QStringLiteral("(null)"))));
        // Why, in words a person can act on.
        if (needed && m_lastRequest == AuthorizationService::kCanceled)
            Log::write(QStringLiteral("Cancelled: no administrator password was given"));
        else if (needed && m_lastRequest == AuthorizationService::kDenied)
            Log::write(QStringLiteral("The administrator password was wrong %1 times").arg(PasswordPrompt::kTries));
        if (asked && m_inRequestRun
            && (m_lastRequest == AuthorizationService::kCanceled || m_lastRequest == AuthorizationService::kDenied))
            m_declined = m_lastRequest;
    }
    return held;
}

void Authorization::beginRequestRun()
{
    m_inRequestRun = true;
    m_declined = AuthorizationService::kSuccess;
}

std::int32_t Authorization::endRequestRun()
{
    m_inRequestRun = false;
    return std::exchange(m_declined, AuthorizationService::kSuccess);
}

void Authorization::deauthenticate()
{
    if (!m_hasReference)
        return;
    m_service->free(AuthorizationService::kDestroyRights);
    m_hasReference = false;
    emit UserDeauthenticatedNotification(this);
}

bool Authorization::executeTool(const QString &tool, const std::optional<QString> &arg1,
                                const std::optional<QString> &arg2, const std::optional<QString> &arg3,
                                const std::optional<QString> &arg4)
{
    // Positional: the vector ends at the first absent argument.
    QStringList arguments;
    for (const auto *arg : {&arg1, &arg2, &arg3, &arg4}) {
        if (!*arg)
            break;
        arguments << **arg;
    }
    return executeTool(tool, arguments);
}

bool Authorization::executeTool(const QString &tool, const QStringList &argumentList,
                                const AuthorizationService::Streams &streams)
{
    if (!authenticateForTool(tool, std::nullopt))
        return false;

    // What the tool says goes into the log when it fails, where the window's
    // Details show it, not only onto a terminal nobody watches.
    ToolMessages messages(streams);
    std::int64_t pid = -1;
    const auto status = m_service->executeWithPrivileges(tool.toLocal8Bit(), AuthorizationService::kDefaults,
                                                         encoded(argumentList), &pid, messages.streams());
    if (status != AuthorizationService::kSuccess) {
        if (m_alerts)
            m_alerts->beep();
        displayExecutionErrorAlert(status);
        Log::write(QStringLiteral("Authorization error %1").arg(status));
        return false;
    }

    const bool succeeded = waitForTool(tool, pid);
    if (!succeeded)
        messages.log(tool);
    return succeeded;
}

bool Authorization::runAsUser(const QString &tool, const QStringList &arguments,
                              const AuthorizationService::Streams &streams, bool quiet)
{
    ToolMessages messages(streams);
    const AuthorizationService::Streams used = quiet ? streams : messages.streams();
    const auto pid = Process::spawn(tool.toLocal8Bit(), encoded(arguments), used.input, quiet, used.output, used.error);
    if (!pid) {
        if (!quiet)
            Log::write(QStringLiteral("Tool '%1' could not be started").arg(tool));
        return false;
    }
    if (quiet)
        return Process::waitFor(*pid).succeeded();
    const bool succeeded = waitForTool(tool, *pid);
    if (!succeeded)
        messages.log(tool);
    return succeeded;
}

namespace {

bool waitForTool(const QString &tool, std::int64_t pid)
{
    // Wait for this tool's own process, and believe it only if it says so.
    // A launch without a process id cannot be waited for: waitpid(-1) would
    // take whichever child ends first.
    if (pid <= 0) {
        Log::write(QStringLiteral("Tool '%1' was started without a process to wait for").arg(tool));
        return false;
    }
    const Process::ExitStatus exit = Process::waitFor(pid_t(pid));
    if (exit.succeeded())
        return true;
    if (exit.exited)
        Log::write(QStringLiteral("Tool '%1' failed with exit status %2").arg(tool).arg(exit.code));
    else if (exit.code > 0)
        Log::write(QStringLiteral("Tool '%1' was ended by signal %2").arg(tool).arg(exit.code));
    else
        Log::write(QStringLiteral("Could not wait for tool '%1'").arg(tool));
    return false;
}

} // namespace

bool Authorization::executeTool(const QString &tool, const std::optional<QString> &arg1,
                                const std::optional<QString> &arg2, const std::optional<QString> &arg3)
{
    return executeTool(tool, arg1, arg2, arg3, std::nullopt);
}

void Authorization::displayExecutionErrorAlert(std::int32_t status)
{
    const QString title = QCoreApplication::translate("Lumora", "Command Failed");
    const QString message =
        QCoreApplication::translate("Lumora",
                                    "Lumora was unable to complete the task.  Please try again.  "
                                    "AuthorizationExecuteWithPrivileges returned the following error: ");
    const QString button = QCoreApplication::translate("Lumora", "OK");
    if (m_alerts)
        m_alerts->runAlert(title, message + QString::number(status), button);
}
