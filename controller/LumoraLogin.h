#pragma once

#include "controller/Setting.h"
#include "controller/SettingsDocument.h"
#include "platform/Image.h"
#include "platform/LoginWindow.h"
#include "platform/PlatformServices.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class Authorization;
class MessageView;
class Staging;
class UpdateCheckThread;

// What the controller reaches outside itself: the platform's services and
// the runner of privileged tools. main.cpp (or a test, or the command-line
// companion) fills it in; nothing here is owned.
struct LumoraContext {
    Volume volume;
    Bundle bundle;
    UserDefaults *defaults = nullptr;
    AlertPanel *alerts = nullptr;
    Workspace *workspace = nullptr;
    Clock *clock = nullptr;
    Authorization *authorization = nullptr;

    // All but the runner, which only the save operations use.
    [[nodiscard]] PlatformServices services() const
    {
        return PlatformServices{volume, bundle, defaults, alerts, workspace, clock};
    }
};

// What a Save did, for the status line and the companion's exit status.
struct SaveReport {
    QStringList attempted; // the settings' names for people (SettingModel::name())
    QStringList failed;
    bool anotherSaveRunning = false;
    QString busyLock;         // with anotherSaveRunning: the lock file that is held
    bool interrupted = false; // a stop signal ended the save early
    // The user gave no administrator password (Cancel, or wrong on every
    // try); the steps after that failed without asking again.
    enum class Declined { No, Cancelled, WrongPassword };
    Declined declined = Declined::No;
    bool stoppedUnderLock = false; // the caller's decision under the lock: nothing was written
    [[nodiscard]] bool succeeded() const
    {
        return failed.isEmpty() && !anotherSaveRunning && !interrupted && !stoppedUnderLock;
    }
};

// The one controller of the application: it holds the settings document
// being edited and carries every command of the window. It knows no widget;
// the front ends observe the document's signals and its own.
class LumoraLogin : public QObject {
    Q_OBJECT
public:
    explicit LumoraLogin(LumoraContext context, QObject *parent = nullptr);
    ~LumoraLogin() override;

    [[nodiscard]] const LumoraContext &context() const { return m_context; }
    // The settings, with their change flags and signals. The setters below
    // are the document's own.
    [[nodiscard]] SettingsDocument &document() { return m_document; }
    [[nodiscard]] const SettingsDocument &document() const { return m_document; }

    // --- Lifecycle (LumoraLogin.cpp) ---
    // Whether attaching a front end arms the launch update check.
    enum class LaunchCheck { Start, Skip };
    // The one way a front end starts: attaches its message view (which then
    // shows the document's message and reports the user's edits), loads the
    // current settings, and with LaunchCheck::Start arms the launch check.
    void attachFrontEnd(MessageView *view, LaunchCheck launchCheck);
    void setMessageView(MessageView *view) { m_messageView = view; }
    [[nodiscard]] MessageView *messageView() const { return m_messageView; }
    // What the window does when it has loaded: attachFrontEnd() with the
    // view set before and the launch check.
    void awakeFromNib();

    [[nodiscard]] const Image &logo() const { return std::get<Image>(m_document.value(Setting::Logo)); }
    [[nodiscard]] const Image &title() const { return std::get<Image>(m_document.value(Setting::Title)); }
    [[nodiscard]] const Image &background() const { return std::get<Image>(m_document.value(Setting::Background)); }
    [[nodiscard]] const std::optional<QString> &message() const
    {
        return std::get<std::optional<QString>>(m_document.value(Setting::Message));
    }
    [[nodiscard]] std::int32_t hostInfoTag() const { return std::get<std::int32_t>(m_document.value(Setting::HostInfo)); }
    [[nodiscard]] bool dirty() const { return m_document.dirty(); }
    [[nodiscard]] bool logoDirty() const { return m_document.changed(Setting::Logo); }
    [[nodiscard]] bool titleDirty() const { return m_document.changed(Setting::Title); }
    [[nodiscard]] bool backgroundDirty() const { return m_document.changed(Setting::Background); }
    [[nodiscard]] bool messageDirty() const { return m_document.changed(Setting::Message); }
    [[nodiscard]] bool hostInfoTagDirty() const { return m_document.changed(Setting::HostInfo); }
    [[nodiscard]] bool shouldRevertBackground() const { return m_document.shouldRevertBackground(); }

    void setLogo(const Image &image) { m_document.setValue(Setting::Logo, image); }
    void setTitle(const Image &image) { m_document.setValue(Setting::Title, image); }
    // Also clears shouldRevertBackground.
    void setBackground(const Image &image) { m_document.setValue(Setting::Background, image); }
    // The message view then shows it.
    void setMessage(const std::optional<QString> &message) { m_document.setValue(Setting::Message, message); }
    void setHostInfoTag(std::int32_t tag) { m_document.setValue(Setting::HostInfo, tag); }
    void setLogoDirty(bool flag) { m_document.setChanged(Setting::Logo, flag); }
    void setTitleDirty(bool flag) { m_document.setChanged(Setting::Title, flag); }
    void setBackgroundDirty(bool flag) { m_document.setChanged(Setting::Background, flag); }
    void setMessageDirty(bool flag) { m_document.setChanged(Setting::Message, flag); }
    void setHostInfoTagDirty(bool flag) { m_document.setChanged(Setting::HostInfo, flag); }
    void setDirty(bool flag) { m_document.setDirty(flag); }
    void setShouldRevertBackground(bool flag) { m_document.setShouldRevertBackground(flag); }

    void messageChanged();
    // Called by save() once it holds the volume's lock and before it writes
    // anything: what it reads of the volume no other save changes until this
    // one ends, so what it unmarks as already held stays held. Returning
    // false saves nothing (SaveReport::stoppedUnderLock).
    using LockedDecision = std::function<bool()>;
    // Runs on the calling thread; from a worker (SaveRunner) whatever the
    // window sees is done on the controller's own thread.
    SaveReport save(const LockedDecision &decide = {});
    void help();
    [[nodiscard]] bool shouldQuit();
    [[nodiscard]] bool windowShouldClose();
    [[nodiscard]] bool applicationShouldTerminate();

    // --- Current settings (CurrentSettings.cpp) ---
    // Every setting as its model reads it from the volume, flags cleared.
    void loadCurrentSettings();
    // Why the login window's preferences on the volume could not be read at
    // the last load, as a sentence for people; empty when they could (a
    // volume without them reads as the stock look). The values loaded then
    // are the stock ones, not the volume's, so nothing may be saved.
    [[nodiscard]] const QString &unreadableReason() const { return m_unreadableReason; }
    [[nodiscard]] QString currentBackgroundPath() const;
    [[nodiscard]] std::optional<QString> currentMessage() const;
    [[nodiscard]] std::int32_t currentHostInfoTag() const;
    [[nodiscard]] static QString hostInfoValueForTag(std::int32_t tag);
    [[nodiscard]] std::optional<QString> originalBackgroundPath() const;
    [[nodiscard]] std::optional<QString> pathForResource(const QString &fileName) const;
    // `path` is a host path.
    [[nodiscard]] static Image loadImageAtPath(const QString &path, bool tryingOtherFormats);

    // --- Staging, backups and modes (into Staging) ---
    [[nodiscard]] QString tempFilePathWithName(const std::optional<QString> &name);
    [[nodiscard]] static QString backupPathForPath(const QString &path);
    [[nodiscard]] bool backupFile(const QString &path, bool withAuthorization, const QString &defaultsKey);
    bool createApplicationSupportPath();
    bool setMode(const QString &mode, const QString &path);

    // --- Save operations (into the models) ---
    // Each returns whether its setting reached the volume; save() runs them
    // for the marked settings.
    bool saveLogo() { return saveSetting(Setting::Logo); }
    bool saveTitle() { return saveSetting(Setting::Title); }
    bool saveBackground() { return saveSetting(Setting::Background); }
    bool saveMessage() { return saveSetting(Setting::Message); }
    bool saveHostInfo() { return saveSetting(Setting::HostInfo); }
    // Restore Default Look: the stock look into the document.
    void defaults();

    // --- Update checks ---
    void checkForUpdates();
    // The launch check, which the timer armed by attachFrontEnd() starts.
    void checkForUpdatesInNewThread();

signals:
    void saveStarted();
    void saveFinished(const SaveReport &report);

private:
    // After a save: the settings that were saved, or had nothing to save,
    // are read back from the volume; one whose step failed keeps the user's
    // value and its change flag, so Save retries it.
    void reloadAfterSave(const SaveReport &report);
    bool saveSetting(Setting setting);
    [[nodiscard]] Staging staging() const;
    // The view shows the document's message; setting its text is no edit.
    void showMessage();

    LumoraContext m_context;
    MessageView *m_messageView = nullptr;
    SettingsDocument m_document;
    QString m_unreadableReason;
    // The launch update check (update/). Declared last so that it is
    // destroyed first: its destructor stops and joins the worker.
    std::shared_ptr<UpdateCheckThread> m_updateCheck;
};
