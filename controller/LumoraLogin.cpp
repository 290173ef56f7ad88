#include "controller/LumoraLogin.h"

#include "controller/MessageView.h"
#include "controller/SavedLooks.h"
#include "controller/SettingModel.h"
#include "platform/AlertPanel.h"
#include "platform/Clock.h"
#include "platform/CrossThread.h"
#include "platform/Interruption.h"
#include "platform/Log.h"
#include "platform/SaveLock.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "privileged/Authorization.h"
#include "privileged/Staging.h"
#include "save/SaveOperations.h"
#include "save/StockLook.h"
#include "update/UpdateCheckThread.h"
#include "update/VersionChecker.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

const char kDefaultSupportUrl[] = "https://lumora-login.example.org/support.htm";

// How long a Save waits for another copy of the application (or another
// user, or another machine) to finish its own before telling the user.
constexpr int kSaveLockWaitMs = 10000;

const QString kAppName = QStringLiteral("Lumora Login");

} // namespace

LumoraLogin::LumoraLogin(LumoraContext context, QObject *parent)
    : QObject(parent), m_context(std::move(context))
{
    // Before any front end connects: the view shows the new message before
    // anyone else hears of it.
    connect(&m_document, &SettingsDocument::settingSet, this, [this](Setting setting) {
        if (setting == Setting::Message)
            showMessage();
    });
    if (m_context.defaults) {
        m_context.defaults->registerDefaults({
            {PreferenceKeys::kCheckForUpdates, QStringLiteral("YES")},
            {PreferenceKeys::kMadeLogoBackup, QStringLiteral("NO")},
            {PreferenceKeys::kMadeTitleBackup, QStringLiteral("NO")},
        });
    }
}

LumoraLogin::~LumoraLogin()
{
    if (m_messageView)
        m_messageView->observeEdits({});
}

void LumoraLogin::attachFrontEnd(MessageView *view, LaunchCheck launchCheck)
{
    if (m_messageView && m_messageView != view)
        m_messageView->observeEdits({});
    m_messageView = view;
    if (m_messageView) {
        m_messageView->setBoldFont(11.0);
        m_messageView->setCentered();
    }
    loadCurrentSettings();
    if (m_messageView)
        m_messageView->observeEdits([this] { messageChanged(); });
    if (launchCheck == LaunchCheck::Start)
        QTimer::singleShot(500, this, &LumoraLogin::checkForUpdatesInNewThread);
}

void LumoraLogin::awakeFromNib()
{
    attachFrontEnd(m_messageView, LaunchCheck::Start);
}

void LumoraLogin::showMessage()
{
    const QString text = message().value_or(QString());
    if (m_messageView && m_messageView->string() != text)
        m_messageView->setString(text);
}

void LumoraLogin::messageChanged()
{
    // The user edited the view: the document takes its text, which is what
    // Save writes.
    m_document.takeEditedMessage(m_messageView ? std::optional<QString>(m_messageView->string()) : std::nullopt);
}

SaveReport LumoraLogin::save(const LockedDecision &decide)
{
    SaveReport report;
    emit saveStarted();

    SaveLock lock(m_context.volume, Staging::applicationSupportPath());
    switch (lock.acquire(std::chrono::milliseconds(kSaveLockWaitMs))) {
    case SaveLock::Outcome::Held:
        break;
    case SaveLock::Outcome::Busy:
        Log::write(QStringLiteral("Another copy of Lumora Login is saving; nothing was saved (it holds %1)")
                       .arg(lock.busyLock()));
        report.anotherSaveRunning = true;
        report.busyLock = lock.busyLock();
        emit saveFinished(report);
        return report;
    case SaveLock::Outcome::Interrupted:
        report.interrupted = true;
        emit saveFinished(report);
        return report;
    }

    if (decide && !decide()) {
        report.stoppedUnderLock = true;
        lock.release();
        emit saveFinished(report);
        return report;
    }

    // No other save of this volume runs now, so any hidden file of ours is
    // left over from one that was stopped; once more on the way out, for
    // what a tool of a killed save finished meanwhile, or what a stop signal
    // cut short.
    // The user is asked for the password once per save at most.
    if (m_context.authorization)
        m_context.authorization->beginRequestRun();
    (void)staging().removeLeftovers();
    // The look this save replaces goes into the history first; a look that
    // cannot be kept is logged, and the save goes on.
    const auto &models = settingModels();
    if (std::any_of(models.cbegin(), models.cend(),
                    [this](const SettingModel *model) { return m_document.changed(model->setting()); }))
        (void)SavedLooks::keepCurrent(*this);
    auto step = [&report, &lock](const QString &name, auto &&operation) {
        if (Interruption::requested()) {
            report.interrupted = true;
            return;
        }
        lock.refresh();
        report.attempted << name;
        if (!operation())
            report.failed << name;
    };
    for (const SettingModel *model : settingModels()) {
        const Setting setting = model->setting();
        if (!m_document.changed(setting))
            continue;
        step(model->name(), [this, setting] { return saveSetting(setting); });
        // The login window picks up the preference change asynchronously.
        if (setting == Setting::HostInfo && m_context.clock && !Interruption::requested())
            m_context.clock->sleepMicroseconds(500000);
    }
    (void)staging().removeLeftovers();
    if (Interruption::requested())
        report.interrupted = true;
    if (m_context.authorization) {
        const std::int32_t declined = m_context.authorization->endRequestRun();
        if (declined == AuthorizationService::kCanceled)
            report.declined = SaveReport::Declined::Cancelled;
        else if (declined == AuthorizationService::kDenied)
            report.declined = SaveReport::Declined::WrongPassword;
    }
    reloadAfterSave(report);
    lock.release();
    emit saveFinished(report);
    return report;
}

void LumoraLogin::help()
{
    QString address = m_context.bundle.infoString(QStringLiteral("LumoraSupportURL"));
    if (address.isEmpty())
        address = QString::fromLatin1(kDefaultSupportUrl);
    const QUrl url(address);
    if ((m_context.workspace && m_context.workspace->openUrl(url)) || !m_context.alerts)
        return;
    // No browser could be started: the user still gets the address.
    m_context.alerts->showAddress(
        QCoreApplication::translate("Lumora", "The support page could not be opened"),
        QCoreApplication::translate("Lumora", "No web browser could be started. The support page is at this address:"),
        url.toString(), QCoreApplication::translate("Lumora", "OK"));
}

bool LumoraLogin::shouldQuit()
{
    if (!dirty())
        return true;
    const QString title =
        QCoreApplication::translate("Lumora", "You have unsaved changes.  Are you sure you want to quit?");
    const QString message =
        QCoreApplication::translate("Lumora", "If you quit now, your changes changes will not be saved.");
    const QString cancel = QCoreApplication::translate("Lumora", "Cancel");
    const QString quit = QCoreApplication::translate("Lumora", "Quit");
    if (!m_context.alerts)
        return false;
    return m_context.alerts->runAlert(title, message, quit, cancel) == AlertPanel::DefaultReturn;
}

bool LumoraLogin::windowShouldClose()
{
    if (!shouldQuit())
        return false;
    setDirty(false);
    return true;
}

bool LumoraLogin::applicationShouldTerminate()
{
    return shouldQuit();
}

void LumoraLogin::reloadAfterSave(const SaveReport &report)
{
    if (QThread::currentThread() != thread()) {
        // The window observes the document; it changes on the GUI thread only.
        CrossThread::runBlocking(this, [this, &report] { reloadAfterSave(report); });
        return;
    }
    // The failed settings' values, put back through the setters after the
    // load, which mark the flags and the document again.
    std::array<std::optional<SettingValue>, kSettingCount> kept;
    for (const SettingModel *model : settingModels()) {
        if (report.failed.contains(model->name()))
            kept[indexOf(model->setting())] = m_document.value(model->setting());
    }
    const bool revertBackground = shouldRevertBackground();

    loadCurrentSettings();

    for (const SettingModel *model : settingModels()) {
        if (const auto &keptValue = kept[indexOf(model->setting())])
            m_document.setValue(model->setting(), *keptValue);
    }
    if (kept[indexOf(Setting::Background)])
        setShouldRevertBackground(revertBackground);
}

// --- Staging, backups and modes ---

Staging LumoraLogin::staging() const
{
    return Staging(m_context.volume, m_context.bundle, m_context.defaults, m_context.authorization);
}

QString LumoraLogin::tempFilePathWithName(const std::optional<QString> &name)
{
    return Staging::tempFilePathWithName(name);
}

QString LumoraLogin::backupPathForPath(const QString &path)
{
    return Staging::backupPathForPath(path);
}

bool LumoraLogin::backupFile(const QString &path, bool withAuthorization, const QString &defaultsKey)
{
    return staging().backupFile(path, withAuthorization, defaultsKey);
}

bool LumoraLogin::createApplicationSupportPath()
{
    return staging().createApplicationSupportPath();
}

bool LumoraLogin::setMode(const QString &mode, const QString &path)
{
    return staging().setMode(mode, path);
}

// --- Save operations ---

bool LumoraLogin::saveSetting(Setting setting)
{
    const Staging s = staging();
    return settingModel(setting).save(settingView(m_document, m_context.volume, setting), SaveOperations(s));
}

// --- Restore Default Look ---

void LumoraLogin::defaults()
{
    const StockLook look = StockLook::of(m_context.volume, m_context.bundle);
    for (const SettingModel *model : settingModels())
        m_document.setValue(model->setting(), model->stock(look));
    // After the background's setter, which clears it.
    setShouldRevertBackground(true);
}

// --- Update checks ---

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
