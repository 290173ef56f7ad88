// Writing the login-window message and host-information choice into the
// login window's preference domain, through the preference tool.

#include "app/LumoraLogin.h"

#include "app/MessageView.h"
#include "platform/Log.h"
#include "privileged/Authorization.h"

namespace {

// The preference tool reads a value in double quotes as a quoted string in
// which \" is a double quote and \\ a backslash. Backslashes are doubled
// first, so that "C:\new" or a trailing backslash arrive as typed.
QString quotedForPreferenceTool(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

bool LumoraLogin::saveMessage()
{
    const QString text = m_messageView ? m_messageView->string() : m_message.value_or(QString());
    const QString tool = preferenceToolPath();
    const QString domain = m_context.volume.hostPath(LoginWindow::kDomain);

    bool saved = true;
    if (text.isEmpty()) {
        if (!currentMessage())
            return true;
        saved = m_context.authorization->executeTool(tool, QStringLiteral("delete"), domain,
                                                     LoginWindow::kMessageKey, std::nullopt);
    } else {
        saved = m_context.authorization->executeTool(tool, QStringLiteral("write"), domain,
                                                     LoginWindow::kMessageKey, quotedForPreferenceTool(text));
    }
    if (!saved)
        Log::write(QStringLiteral("Failed to save new message"));
    return saved;
}

bool LumoraLogin::saveHostInfo()
{
    const bool saved = m_context.authorization->executeTool(
        preferenceToolPath(), QStringLiteral("write"), m_context.volume.hostPath(LoginWindow::kDomain),
        LoginWindow::kHostInfoKey, hostInfoValueForTag(m_hostInfoTag));
    if (!saved)
        Log::write(QStringLiteral("Failed to save new host information"));
    return saved;
}
