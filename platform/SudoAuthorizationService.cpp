#include "platform/SudoAuthorizationService.h"

#include "platform/Log.h"
#include "platform/PasswordPrompt.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstring>

namespace {

// Overwrites the bytes in place (explicit_bzero is never dropped as a dead
// store). A buffer that the prompt still shares with someone else is theirs
// to wipe: writing through it would change their copy behind their back.
void wipe(QByteArray &bytes)
{
    if (!bytes.isEmpty() && bytes.isDetached())
        ::explicit_bzero(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

} // namespace

SudoAuthorizationService::SudoAuthorizationService(PasswordPrompt *prompt, QString sudoPath)
    : m_prompt(prompt), m_sudoPath(std::move(sudoPath))
{
}

bool SudoAuthorizationService::sudoAvailable() const
{
    return QFileInfo(m_sudoPath).isExecutable();
}

std::int32_t SudoAuthorizationService::create(std::uint32_t)
{
    // sudo keeps the credential itself; there is no reference to make.
    return kSuccess;
}

std::int32_t SudoAuthorizationService::copyRights(const std::vector<RightsItem> &, std::uint32_t flags)
{
    // Every request is for the same right, so the tool path plays no part:
    // sudo's credential covers whichever tool runs next.
    if (!sudoAvailable()) {
        if (flags & kInteractionAllowed)
            Log::write(QStringLiteral("Cannot obtain administrator rights: %1 is not available").arg(m_sudoPath));
        return kInternal;
    }
    const QByteArray sudo = m_sudoPath.toLocal8Bit();

    if (!(flags & kInteractionAllowed)) {
        const Process::ExitStatus held = Process::run(sudo, {"-n", "-v"}, true);
        return held.succeeded() ? kSuccess : kDenied;
    }

    if (!m_prompt)
        return kCanceled;
    const QString reason =
        QCoreApplication::translate("Lumora",
                                    "Lumora Login needs administrator rights to change the login window. "
                                    "Type your password to allow this.");
    // A wrong password is asked for again in the same request, as sudo
    // itself does; only Cancel or the last wrong try fails it.
    for (int attempt = 0; attempt < PasswordPrompt::kTries; ++attempt) {
        const QString complaint = attempt == 0 ? QString() : QCoreApplication::translate("Lumora", "Sorry, try again.");
        std::optional<QByteArray> password = m_prompt->askPassword(reason, complaint);
        if (!password)
            return kCanceled;

        // sudo reads one line; the prompt text is empty so nothing is printed.
        QByteArray input;
        input.reserve(password->size() + 1);
        input.append(*password);
        input.append('\n');
        wipe(*password);
        const auto pid = Process::spawnWithInput(sudo, {"-S", "-p", "", "-v"}, input, true);
        wipe(input);
        if (!pid) {
            Log::write(QStringLiteral("Cannot obtain administrator rights: %1 could not be started").arg(m_sudoPath));
            return kInternal;
        }
        if (Process::waitFor(*pid).succeeded())
            return kSuccess;
    }
    return kDenied;
}

std::int32_t SudoAuthorizationService::executeWithPrivileges(const QByteArray &toolPath, std::uint32_t,
                                                             const std::vector<QByteArray> &arguments,
                                                             std::int64_t *pid, const Streams &streams)
{
    if (!sudoAvailable()) {
        Log::write(QStringLiteral("Cannot run %1 as administrator: %2 is not available")
                       .arg(QString::fromLocal8Bit(toolPath), m_sudoPath));
        return kToolExecuteFailure;
    }
    // -n: never ask here; the runner has just checked the credential. "--"
    // ends sudo's options, so the tool path is never read as one.
    std::vector<QByteArray> vector{"-n", "--", toolPath};
    vector.insert(vector.end(), arguments.begin(), arguments.end());
    // sudo hands its standard input and output on to the tool.
    const auto child = Process::spawn(m_sudoPath.toLocal8Bit(), vector, streams.input, false, streams.output, streams.error);
    if (!child)
        return kToolExecuteFailure;
    if (pid)
        *pid = *child;
    return kSuccess;
}

void SudoAuthorizationService::free(std::uint32_t flags)
{
    if (!(flags & kDestroyRights) || !sudoAvailable())
        return;
    (void)Process::run(m_sudoPath.toLocal8Bit(), {"-k"}, true);
}
