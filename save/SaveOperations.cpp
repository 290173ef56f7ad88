// Writing the login-window message and host-information choice into the
// login window's preference domain, through the preference tool.

#include "save/SaveOperations.h"

#include "platform/LoginWindow.h"
#include "platform/Log.h"
#include "privileged/Staging.h"

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

bool SaveOperations::saveMessage(const QString &text) const
{
    bool saved = true;
    if (text.isEmpty()) {
        if (!LoginWindow::currentMessage(m_staging.volume()))
            return true;
        saved = m_staging.deletePreference(LoginWindow::kMessageKey);
    } else {
        saved = m_staging.writePreference(LoginWindow::kMessageKey, {quotedForPreferenceTool(text)});
    }
    if (!saved)
        Log::write(QStringLiteral("Failed to save new message"));
    return saved;
}

bool SaveOperations::saveHostInfo(std::int32_t tag) const
{
    const bool saved =
        m_staging.writePreference(LoginWindow::kHostInfoKey, {LoginWindow::hostInfoValueForTag(tag)});
    if (!saved)
        Log::write(QStringLiteral("Failed to save new host information"));
    return saved;
}
