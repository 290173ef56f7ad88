// The four panels of an update check. From a worker thread they are shown
// by the GUI thread while the worker waits.

#include "update/VersionChecker.h"

#include "platform/AlertPanel.h"
#include "platform/CrossThread.h"
#include "platform/Log.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QThread>
#include <QUrl>

bool VersionChecker::runPanel(const std::function<void()> &panel)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        if (cancelled())
            return false;
        panel();
        return true;
    }
    // From a worker: the GUI thread shows the panel while the worker waits.
    // If the check is cancelled meanwhile (its owner is going away), the
    // worker stops waiting and the queued request does nothing.
    auto cancellation = m_cancellation ? m_cancellation : std::make_shared<UpdateCheck::Cancellation>();
    auto done = std::make_shared<bool>(false);
    CrossThread::post(app, [cancellation, done, panel] {
        if (cancellation->isCancelled())
            return;
        panel();
        cancellation->notify([&] { *done = true; });
    });
    return cancellation->waitUntil([&] { return *done; });
}

void VersionChecker::showPanel(const QString &title, const QString &message, bool information)
{
    AlertPanel *alerts = m_services.alerts;
    if (!alerts)
        return;
    alerts->activateApplication();
    const QString ok = QCoreApplication::translate("Lumora", "OK");
    if (information)
        alerts->runInformation(title, message, ok);
    else
        alerts->runAlert(title, message, ok);
}

void VersionChecker::displayErrorPanelForMissingProductDictionaryForAppName(const QString &appName)
{
    runPanel([=, this] {
        const QString title = QCoreApplication::translate("Lumora", "Unable to check for updates");
        const QString format =
            QCoreApplication::translate("Lumora",
                                        "%@ was unable to check for updates.  Please make sure you are "
                                        "connected to the internet and try again.");
        showPanel(title, UpdateCheck::fillFormat(format, {appName}));
    });
}

void VersionChecker::displayErrorPanelForMissingOsInfo(const QString &baseOs, const QString &appName)
{
    runPanel([=, this] {
        const QString title = QCoreApplication::translate("Lumora", "Unable to check for updates");
        const QString format = QCoreApplication::translate(
            "Lumora", "%@ could not determine the most recent version information for Mac OS %@.");
        showPanel(title, UpdateCheck::fillFormat(format, {appName, baseOs}));
    });
}

void VersionChecker::displayUpToDatePanelForAppName(const QString &appName)
{
    runPanel([=, this] {
        const QString title =
            UpdateCheck::fillFormat(QCoreApplication::translate("Lumora", "%@ is up to date"), {appName});
        const QString format = QCoreApplication::translate("Lumora", "You have the most recent version of %@.");
        showPanel(title, UpdateCheck::fillFormat(format, {appName}), true);
    });
}

void VersionChecker::displayUpdatePanelForOldVersion(const QString &oldVersion,
                                                     const std::optional<QString> &newVersion,
                                                     const QVariantMap &versionInfo, const QString &appName)
{
    runPanel([=, this] {
        AlertPanel *alerts = m_services.alerts;
        if (!alerts)
            return;
        alerts->activateApplication();
        const QString title = QCoreApplication::translate("Lumora", "A new version is available");
        const QString format = QCoreApplication::translate(
            "Lumora",
            "%@ version %@ is available.  You have version %@ installed.  Here are some of the features of "
            "version %@:\n\n%@\nWould you like to download the new version now?");
        const QString ok = QCoreApplication::translate("Lumora", "OK");
        const QString cancel = QCoreApplication::translate("Lumora", "Cancel");
        const QString shownVersion = newVersion.value_or(QCoreApplication::translate("Lumora", "unknown"));
        const QVariant features = versionInfo.value(QStringLiteral("newFeatures"));
        const QString featureText = features.typeId() == QMetaType::QString ? features.toString() : QString();
        const QString message = UpdateCheck::fillFormat(
            format, {appName, shownVersion, oldVersion, shownVersion, featureText});
        if (alerts->runInformation(title, message, ok, cancel) != AlertPanel::DefaultReturn)
            return;

        // The address comes from the network: only a web address goes to
        // the browser, never a file, a script or another application's scheme.
        const QVariant address = versionInfo.value(QStringLiteral("downloadURL"));
        const QUrl url(address.typeId() == QMetaType::QString ? address.toString() : QString(),
                       QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty()
            || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
            Log::write(QStringLiteral("Download address is not an http or https address; not opening it"));
            return;
        }
        if (m_services.workspace && m_services.workspace->openUrl(url))
            return;
        // No browser could be started: the user still gets the address.
        alerts->showAddress(
            QCoreApplication::translate("Lumora", "The download could not be opened"),
            QCoreApplication::translate("Lumora",
                                        "No web browser could be started. You can download the new version "
                                        "from this address:"),
            url.toString(), ok);
    });
}
