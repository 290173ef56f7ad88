#include "tests/fakes/RecordingAuthorizationService.h"

#include "platform/Process.h"

#include <QFile>

void RecordingAuthorizationService::setRightsHeld(bool held)
{
    std::lock_guard lock(m_mutex);
    m_held = held;
}

void RecordingAuthorizationService::scriptInteractive(QList<Answer> answers)
{
    std::lock_guard lock(m_mutex);
    m_interactive = std::move(answers);
}

void RecordingAuthorizationService::scriptLaunchStatus(QList<std::int32_t> statuses)
{
    std::lock_guard lock(m_mutex);
    m_launchStatuses = std::move(statuses);
}

void RecordingAuthorizationService::substituteOnce(const QRegularExpression &run, const QString &wrapper)
{
    std::lock_guard lock(m_mutex);
    m_substituted = run;
    m_wrapper = wrapper;
}

QList<RecordingAuthorizationService::Call> RecordingAuthorizationService::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

QList<QStringList> RecordingAuthorizationService::runs() const
{
    std::lock_guard lock(m_mutex);
    return m_runs;
}

int RecordingAuthorizationService::passwordRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_passwordRequests;
}

int RecordingAuthorizationService::creations() const
{
    std::lock_guard lock(m_mutex);
    return m_creations;
}

bool RecordingAuthorizationService::rightsHeld() const
{
    std::lock_guard lock(m_mutex);
    return m_held;
}

std::int32_t RecordingAuthorizationService::create(std::uint32_t flags)
{
    std::lock_guard lock(m_mutex);
    ++m_creations;
    m_calls.append({QStringLiteral("create"), flags, {}});
    return kSuccess;
}

std::int32_t RecordingAuthorizationService::copyRights(const std::vector<RightsItem> &items, std::uint32_t flags)
{
    std::lock_guard lock(m_mutex);
    Call call{QStringLiteral("copyRights"), flags, {}};
    for (const RightsItem &item : items)
        call.values.append(QString::fromLocal8Bit(item.value));
    m_calls.append(call);

    if (!(flags & kInteractionAllowed))
        return m_held ? kSuccess : kDenied;

    ++m_passwordRequests;
    const Answer answer = m_interactive.isEmpty() ? Answer::Grant : m_interactive.takeFirst();
    switch (answer) {
    case Answer::Grant:
        m_held = true;
        return kSuccess;
    case Answer::Refuse:
        return kDenied;
    case Answer::Cancel:
        return kCanceled;
    }
    return kInternal;
}

std::int32_t RecordingAuthorizationService::executeWithPrivileges(const QByteArray &toolPath, std::uint32_t options,
                                                                  const std::vector<QByteArray> &arguments,
                                                                  std::int64_t *pid, const Streams &streams)
{
    std::lock_guard lock(m_mutex);
    QStringList vector{QString::fromLocal8Bit(toolPath)};
    for (const QByteArray &argument : arguments)
        vector.append(QString::fromLocal8Bit(argument));
    m_calls.append({QStringLiteral("execute"), options, vector});

    const std::int32_t status = m_launchStatuses.isEmpty() ? kSuccess : m_launchStatuses.takeFirst();
    if (status != kSuccess)
        return status;
    std::optional<pid_t> child;
    if (!m_wrapper.isEmpty() && m_substituted.match(vector.join(QLatin1Char(' '))).hasMatch()) {
        std::vector<QByteArray> wrapped{toolPath};
        wrapped.insert(wrapped.end(), arguments.begin(), arguments.end());
        child = Process::spawn(QFile::encodeName(m_wrapper), wrapped, streams.input, false, streams.output, streams.error);
        m_wrapper.clear();
    } else {
        child = Process::spawn(toolPath, arguments, streams.input, false, streams.output, streams.error);
    }
    if (!child)
        return kToolExecuteFailure;
    m_runs.append(vector);
    if (pid)
        *pid = *child;
    return kSuccess;
}

void RecordingAuthorizationService::free(std::uint32_t flags)
{
    std::lock_guard lock(m_mutex);
    m_calls.append({QStringLiteral("free"), flags, {}});
    if (flags & kDestroyRights)
        m_held = false;
}
