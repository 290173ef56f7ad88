#include "controller/LumoraLogin.h"

#include "controller/MessageView.h"
#include "controller/SaveLock.h"
#include "controller/SavedLooks.h"
#include "controller/SettingModel.h"
#include "platform/AlertPanel.h"
#include "platform/Clock.h"
#include "platform/Interruption.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "privileged/Authorization.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

const char kDefaultSupportUrl[] = "https://lumora-login.example.org/support.htm";

// How long a Save waits for another copy of the application (or another
// user, or another machine) to finish its own before telling the user.
constexpr int kSaveLockWaitMs = 10000;

} // namespace

LumoraLogin::LumoraLogin(LumoraContext context, QObject *parent)
    : QObject(parent), m_context(std::move(context))
{
    for (const SettingModel *model : settingModels())
        m_values[indexOf(model->setting())] = model->initial();
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

void LumoraLogin::setValue(Setting setting, const SettingValue &value)
{
    m_values[indexOf(setting)] = value;
    if (setting == Setting::Message) {
        // The view shows the document; setting its text is never an edit.
        const QString text = message().value_or(QString());
        if (m_messageView && m_messageView->string() != text)
            m_messageView->setString(text);
    }
    emit settingSet(setting);
    setChanged(setting, true);
    if (setting == Setting::Background)
        setShouldRevertBackground(false);
}

void LumoraLogin::setChanged(Setting setting, bool flag)
{
    m_changed[indexOf(setting)] = flag;
    if (flag)
        setDirty(true);
    emit flagsChanged();
}

void LumoraLogin::setDirty(bool flag)
{
    m_dirty = flag;
    emit flagsChanged();
}

void LumoraLogin::setShouldRevertBackground(bool flag)
{
    m_shouldRevertBackground = flag;
}

void LumoraLogin::messageChanged()
{
    // The user edited the view: the document takes its text, which is what
    // Save writes.
    if (m_messageView)
        m_values[indexOf(Setting::Message)] = std::optional<QString>(m_messageView->string());
    emit messageEdited();
    setMessageDirty(true);
}

SaveReport LumoraLogin::save(const LockedDecision &decide)
{
    SaveReport report;
    emit saveStarted();

    SaveLock lock(m_context.volume, applicationSupportPath());
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
    (void)removeLeftovers();
    // The look this save replaces goes into the history first; a look that
    // cannot be kept is logged, and the save goes on.
    if (std::any_of(m_changed.cbegin(), m_changed.cend(), [](bool flag) { return flag; }))
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
        if (!changed(setting))
            continue;
        step(model->name(), [this, setting] { return saveSetting(setting); });
        // The login window picks up the preference change asynchronously.
        if (setting == Setting::HostInfo && m_context.clock && !Interruption::requested())
            m_context.clock->sleepMicroseconds(500000);
    }
    (void)removeLeftovers();
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
