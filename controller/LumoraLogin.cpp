#include "controller/LumoraLogin.h"

#include "controller/MessageView.h"
#include "platform/AlertPanel.h"
#include "platform/Clock.h"
#include "platform/Localized.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QLockFile>
#include <QTimer>
#include <QUrl>

namespace {

const char kDefaultSupportUrl[] = "https://lumora-login.example.org/support.htm";

// How long a Save waits for another copy of the application to finish its
// own before telling the user.
constexpr int kSaveLockWaitMs = 10000;

} // namespace

LumoraLogin::LumoraLogin(LumoraContext context, QObject *parent)
    : QObject(parent), m_context(std::move(context))
{
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

// Setters: store, then mark. Nothing compares the old and new value, so
// setting the image already held still counts as a change.

void LumoraLogin::setLogo(const Image &image)
{
    m_logo = image;
    emit logoSet();
    setLogoDirty(true);
}

void LumoraLogin::setTitle(const Image &image)
{
    m_title = image;
    emit titleSet();
    setTitleDirty(true);
}

void LumoraLogin::setBackground(const Image &image)
{
    m_background = image;
    emit backgroundSet();
    setBackgroundDirty(true);
    setShouldRevertBackground(false);
}

void LumoraLogin::setMessage(const std::optional<QString> &message)
{
    m_message = message;
    // The view shows the document; setting its text is never an edit.
    const QString text = message.value_or(QString());
    if (m_messageView && m_messageView->string() != text)
        m_messageView->setString(text);
    emit messageSet();
    setMessageDirty(true);
}

void LumoraLogin::setHostInfoTag(std::int32_t tag)
{
    m_hostInfoTag = tag;
    emit hostInfoTagSet();
    setHostInfoTagDirty(true);
}

void LumoraLogin::setLogoDirty(bool flag)
{
    m_logoDirty = flag;
    if (flag)
        setDirty(true);
    emit flagsChanged();
}

void LumoraLogin::setTitleDirty(bool flag)
{
    m_titleDirty = flag;
    if (flag)
        setDirty(true);
    emit flagsChanged();
}

void LumoraLogin::setBackgroundDirty(bool flag)
{
    m_backgroundDirty = flag;
    if (flag)
        setDirty(true);
    emit flagsChanged();
}

void LumoraLogin::setMessageDirty(bool flag)
{
    m_messageDirty = flag;
    if (flag)
        setDirty(true);
    emit flagsChanged();
}

void LumoraLogin::setHostInfoTagDirty(bool flag)
{
    m_hostInfoTagDirty = flag;
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
        m_message = m_messageView->string();
    emit messageEdited();
    setMessageDirty(true);
}

SaveReport LumoraLogin::save()
{
    SaveReport report;
    emit saveStarted();

    // Two copies of the application would overwrite each other's staging
    // files; the lock lives in the per-user support folder beside them.
    QDir().mkpath(applicationSupportPath());
    QLockFile lock(applicationSupportPath() + QStringLiteral("/save.lock"));
    lock.setStaleLockTime(0); // a save may wait on the password dialog for long
    if (!lock.tryLock(kSaveLockWaitMs)) {
        if (lock.error() == QLockFile::LockFailedError) {
            Log::write(QStringLiteral("Another copy of Lumora Login is saving; nothing was saved"));
            report.anotherSaveRunning = true;
            emit saveFinished(report);
            return report;
        }
        // The lock file cannot even be made (the folder is read-only or
        // full), so no copy can stage anything there: go on, and let each
        // step report what it could not do.
        Log::write(QStringLiteral("Unable to create the save lock in %1").arg(applicationSupportPath()));
    }

    auto step = [&report](bool run, const QString &name, auto &&operation) {
        if (!run)
            return;
        report.attempted << name;
        if (!operation())
            report.failed << name;
    };
    step(m_logoDirty, QStringLiteral("logo"), [this] { return saveLogo(); });
    step(m_titleDirty, QStringLiteral("title"), [this] { return saveTitle(); });
    step(m_backgroundDirty, QStringLiteral("background"), [this] { return saveBackground(); });
    step(m_messageDirty, QStringLiteral("message"), [this] { return saveMessage(); });
    if (m_hostInfoTagDirty) {
        step(true, QStringLiteral("host information"), [this] { return saveHostInfo(); });
        // The login window picks up the preference change asynchronously.
        if (m_context.clock)
            m_context.clock->sleepMicroseconds(500000);
    }
    loadCurrentSettings();
    lock.unlock();
    emit saveFinished(report);
    return report;
}

void LumoraLogin::help()
{
    QString address = m_context.bundle.infoString(QStringLiteral("LumoraSupportURL"));
    if (address.isEmpty())
        address = QString::fromLatin1(kDefaultSupportUrl);
    if (m_context.workspace)
        m_context.workspace->openUrl(QUrl(address));
}

bool LumoraLogin::shouldQuit()
{
    if (!dirty())
        return true;
    const QString title =
        localized("You have unsaved changes.  Are you sure you want to quit?");
    const QString message = localized("If you quit now, your changes changes will not be saved.");
    const QString cancel = localized("Cancel");
    const QString quit = localized("Quit");
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
