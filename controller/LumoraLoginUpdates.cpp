#include "controller/LumoraLogin.h"

#include "update/UpdateCheckThread.h"
#include "update/VersionChecker.h"

namespace {
const QString kAppName = QStringLiteral("Lumora Login");
}

void LumoraLogin::checkForUpdates()
{
    VersionChecker checker(m_context.services());
    checker.checkForUpdatesSilently(false, kAppName, true);
}

void LumoraLogin::checkForUpdatesInNewThread()
{
    // One launch check at a time; the timer fires once, but a second call
    // must not stop (and so join) the check already under way.
    if (m_updateCheck && !m_updateCheck->isFinished())
        return;
    m_updateCheck = VersionChecker(m_context.services()).checkForUpdatesInNewThreadForAppName(kAppName);
}
