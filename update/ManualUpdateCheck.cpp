#include "update/ManualUpdateCheck.h"

#include "update/UpdateCheckThread.h"
#include "update/VersionChecker.h"

namespace {
const QString kAppName = QStringLiteral("Lumora Login");
}

int ManualUpdateCheck::Panels::runAlert(const QString &title, const QString &message,
                                        const QString &defaultButton, const QString &alternateButton,
                                        const QString &otherButton)
{
    m_before();
    return m_target ? m_target->runAlert(title, message, defaultButton, alternateButton, otherButton)
                    : AlertPanel::AlternateReturn;
}

int ManualUpdateCheck::Panels::runInformation(const QString &title, const QString &message,
                                              const QString &defaultButton, const QString &alternateButton)
{
    m_before();
    return m_target ? m_target->runInformation(title, message, defaultButton, alternateButton)
                    : AlertPanel::AlternateReturn;
}

// Follows a result panel, which has already said the result is there.
void ManualUpdateCheck::Panels::showAddress(const QString &title, const QString &message, const QString &address,
                                            const QString &button)
{
    if (m_target)
        m_target->showAddress(title, message, address, button);
}

void ManualUpdateCheck::Panels::beep()
{
    if (m_target)
        m_target->beep();
}

void ManualUpdateCheck::Panels::activateApplication()
{
    if (m_target)
        m_target->activateApplication();
}

ManualUpdateCheck::ManualUpdateCheck(const PlatformServices &services, UpdateCheck::Limits limits, QObject *parent)
    : QObject(parent), m_services(services), m_limits(limits),
      // The check's panels are run on the GUI thread (VersionChecker::runPanel).
      m_panels(services.alerts, [this] { emit resultReady(); })
{
    m_services.alerts = &m_panels;
}

ManualUpdateCheck::~ManualUpdateCheck()
{
    // Each destructor cancels and joins.
    m_thread.reset();
    m_stopping.clear();
}

bool ManualUpdateCheck::start()
{
    if (m_thread)
        return false;
    const QVariantMap options{{QStringLiteral("silent"), false},
                              {QStringLiteral("appName"), kAppName},
                              {QStringLiteral("force"), true}};
    m_thread = std::make_unique<UpdateCheckThread>(VersionChecker(m_services, m_limits), options, [this] {
        QMetaObject::invokeMethod(this, &ManualUpdateCheck::threadDone, Qt::QueuedConnection);
    });
    return true;
}

void ManualUpdateCheck::cancel()
{
    if (!m_thread)
        return;
    // The worker notices within one poll and ends; its thread is joined
    // when it says so, so the GUI thread never waits for it here.
    m_thread->cancel();
    m_stopping.push_back(std::move(m_thread));
    emit finished(true);
}

void ManualUpdateCheck::threadDone()
{
    // Join whichever threads have ended (a cancelled one, or the current).
    for (auto it = m_stopping.begin(); it != m_stopping.end();) {
        if ((*it)->isFinished()) {
            (*it)->join();
            it = m_stopping.erase(it);
        } else {
            ++it;
        }
    }
    if (m_thread && m_thread->isFinished()) {
        m_thread->join();
        m_thread.reset();
        emit finished(false);
    }
}
