#pragma once

#include "platform/Bundle.h"
#include "platform/Image.h"
#include "platform/Volume.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

class AlertPanel;
class Authorization;
class Clock;
class MessageView;
class UpdateCheckThread;
class UserDefaults;
class Workspace;

// Where each setting lives on the volume (volume paths).
namespace LoginWindow {
inline const QString kDomain = QStringLiteral("/Library/Preferences/com.apple.loginwindow");
inline const QString kDesktopPictureKey = QStringLiteral("DesktopPicture");
inline const QString kMessageKey = QStringLiteral("LoginwindowText");
inline const QString kHostInfoKey = QStringLiteral("AdminHostInfo");
inline const QString kLogoFirstPlace = QStringLiteral(
    "/System/Library/CoreServices/SecurityAgent.app/Contents/Resources/applelogo.tif");
inline const QString kLogoSecondPlace = QStringLiteral(
    "/System/Library/CoreServices/SecurityAgentPlugins/loginwindow.bundle/Contents/Resources/applelogo.tif");
inline const QString kTitleFirstPlace = QStringLiteral(
    "/System/Library/CoreServices/SecurityAgent.app/Contents/Resources/MacOSX.tif");
inline const QString kTitleSecondPlace = QStringLiteral(
    "/System/Library/CoreServices/SecurityAgentPlugins/loginwindow.bundle/Contents/Resources/MacOSX.tif");
inline const QString kTigerDefaultBackground = QStringLiteral("/Library/Desktop Pictures/Aqua Blue.jpg");
inline const QString kDefaultBackground = QStringLiteral("/System/Library/CoreServices/DefaultDesktop.jpg");
inline const QString kSharedSupportFolder = QStringLiteral("/Library/Application Support/Lumora");
inline const QString kInstalledBackground =
    QStringLiteral("/Library/Application Support/Lumora/login_background.jpg");
inline const QString kStockLogo = QStringLiteral("AppleLogo.tif");
inline const QString kStockTitle = QStringLiteral("AppleTitle.tif");
inline const QString kStockBackground = QStringLiteral("AppleBackground.jpg");
inline const QString kVersionFile = QStringLiteral("/System/Library/CoreServices/SystemVersion.plist");
} // namespace LoginWindow

// The application's preference keys.
namespace PreferenceKeys {
inline const QString kCheckForUpdates = QStringLiteral("checkForUpdates");
inline const QString kMadeLogoBackup = QStringLiteral("Made logo backup");
inline const QString kMadeTitleBackup = QStringLiteral("Made title backup");
inline const QString kLastVersionCheckDate = QStringLiteral("Last version check date");
} // namespace PreferenceKeys

// What the controller reaches outside itself. main.cpp (or a test, or the
// command-line companion) fills it in; nothing here is owned.
struct LumoraContext {
    Volume volume;
    Bundle bundle;
    UserDefaults *defaults = nullptr;
    AlertPanel *alerts = nullptr;
    Workspace *workspace = nullptr;
    Clock *clock = nullptr;
    Authorization *authorization = nullptr;
};

// What a Save did, for the status line and the companion's exit status.
struct SaveReport {
    QStringList attempted; // "logo", "title", "background", "message", "host information"
    QStringList failed;
    bool anotherSaveRunning = false;
    [[nodiscard]] bool succeeded() const { return failed.isEmpty() && !anotherSaveRunning; }
};

// The one controller of the application: the settings document being
// edited with its change flags, and every command of the window. It knows
// no widget; the front ends observe its signals.
class LumoraLogin : public QObject {
    Q_OBJECT
public:
    explicit LumoraLogin(LumoraContext context, QObject *parent = nullptr);
    ~LumoraLogin() override;

    [[nodiscard]] const LumoraContext &context() const { return m_context; }

    // --- Settings document and lifecycle (app/LumoraLogin.cpp) ---
    void setMessageView(MessageView *view) { m_messageView = view; }
    [[nodiscard]] MessageView *messageView() const { return m_messageView; }
    void awakeFromNib();

    [[nodiscard]] const Image &logo() const { return m_logo; }
    [[nodiscard]] const Image &title() const { return m_title; }
    [[nodiscard]] const Image &background() const { return m_background; }
    [[nodiscard]] const std::optional<QString> &message() const { return m_message; }
    [[nodiscard]] std::int32_t hostInfoTag() const { return m_hostInfoTag; }
    [[nodiscard]] bool dirty() const { return m_dirty; }
    [[nodiscard]] bool logoDirty() const { return m_logoDirty; }
    [[nodiscard]] bool titleDirty() const { return m_titleDirty; }
    [[nodiscard]] bool backgroundDirty() const { return m_backgroundDirty; }
    [[nodiscard]] bool messageDirty() const { return m_messageDirty; }
    [[nodiscard]] bool hostInfoTagDirty() const { return m_hostInfoTagDirty; }
    [[nodiscard]] bool shouldRevertBackground() const { return m_shouldRevertBackground; }

    void setLogo(const Image &image);
    void setTitle(const Image &image);
    void setBackground(const Image &image);
    void setMessage(const std::optional<QString> &message);
    void setHostInfoTag(std::int32_t tag);
    void setLogoDirty(bool flag);
    void setTitleDirty(bool flag);
    void setBackgroundDirty(bool flag);
    void setMessageDirty(bool flag);
    void setHostInfoTagDirty(bool flag);
    void setDirty(bool flag);
    void setShouldRevertBackground(bool flag);

    void messageChanged();
    SaveReport save();
    void help();
    [[nodiscard]] bool shouldQuit();
    [[nodiscard]] bool windowShouldClose();
    [[nodiscard]] bool applicationShouldTerminate();

    // --- Current settings (app/CurrentSettings.cpp) ---
    void loadCurrentSettings();
    [[nodiscard]] QString currentBackgroundPath() const;
    [[nodiscard]] std::optional<QString> currentMessage() const;
    [[nodiscard]] std::int32_t currentHostInfoTag() const;
    [[nodiscard]] static QString hostInfoValueForTag(std::int32_t tag);
    [[nodiscard]] static std::int32_t hostInfoTagForValue(const std::optional<QString> &value);
    [[nodiscard]] std::optional<QString> originalBackgroundPath() const;
    [[nodiscard]] std::optional<QString> pathForResource(const QString &fileName) const;
    // `path` is a host path.
    [[nodiscard]] static Image loadImageAtPath(const QString &path, bool tryingOtherFormats);
    [[nodiscard]] bool isTiger() const;

    // --- Staging, backups and modes (privileged/LumoraLoginStaging.cpp) ---
    // The per-user support folder (host path, ends without a separator).
    [[nodiscard]] static QString applicationSupportPath();
    [[nodiscard]] QString tempFilePathWithName(const std::optional<QString> &name);
    [[nodiscard]] static QString backupPathForPath(const QString &path);
    // True when the backup is in place: made now, already there, or there
    // was nothing to back up. `path` is a volume path.
    [[nodiscard]] bool backupFile(const QString &path, bool withAuthorization, const QString &defaultsKey);
    // Where a backup-made key is stored for the volume being edited: the key
    // itself for "/", a key of that volume's own for any other root.
    [[nodiscard]] QString backupMadeKey(const QString &defaultsKey) const;
    // Copies `source` over `destination` (host paths) with administrator
    // rights so that the destination is always either the old file or the
    // whole new one: through a hidden file beside it that takes the old
    // file's permissions and is then renamed over it.
    [[nodiscard]] bool copyIntoPlace(const QString &source, const QString &destination);
    // True when the shared support folder exists afterwards.
    bool createApplicationSupportPath();
    // `path` is a volume path.
    bool setMode(const QString &mode, const QString &path);
    // The preference-writing tool: "/usr/bin/defaults" on a live system,
    // our own lumora-defaults otherwise.
    [[nodiscard]] QString preferenceToolPath() const;

    // --- Save operations (save/) ---
    // Each returns whether its setting reached the volume.
    bool saveMessage();
    bool saveHostInfo();
    [[nodiscard]] QByteArray jpgDataForBackground() const;
    bool setBackgroundInDefaults(const std::optional<QString> &path);
    bool saveBackground();
    bool saveBackgroundInTiger();
    bool saveLogo();
    bool saveTitle();
    void removeOtherFormatsForFile(const QString &path);
    void defaults();

    // --- Update checks (update/) ---
    void checkForUpdates();
    void checkForUpdatesInNewThread();

signals:
    void logoSet();
    void titleSet();
    void backgroundSet();
    void messageSet();
    void hostInfoTagSet();
    void flagsChanged();
    void saveStarted();
    void saveFinished(const SaveReport &report);

private:
    LumoraContext m_context;
    MessageView *m_messageView = nullptr;
    Image m_logo;
    Image m_title;
    Image m_background;
    std::optional<QString> m_message;
    bool m_logoDirty = false;
    bool m_titleDirty = false;
    bool m_backgroundDirty = false;
    bool m_messageDirty = false;
    bool m_hostInfoTagDirty = false;
    bool m_dirty = false;
    bool m_shouldRevertBackground = false;
    std::int32_t m_hostInfoTag = 0;
    // The launch update check (update/). Declared last so that it is
    // destroyed first: its destructor stops and joins the worker.
    std::shared_ptr<UpdateCheckThread> m_updateCheck;
};
