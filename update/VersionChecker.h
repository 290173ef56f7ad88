#pragma once

#include "app/LumoraLogin.h"
#include "platform/Bundle.h"
#include "platform/Volume.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class AlertPanel;
class Clock;
class UserDefaults;
class Workspace;

namespace UpdateCheck {

// Seconds that must have passed since the last check before the launch
// check runs again (strictly more than this).
inline constexpr qint64 kMinimumInterval = 259200;

// What one check may cost. The defaults are the application's; tests
// shorten the timeouts.
struct Limits {
    std::chrono::milliseconds downloadTimeout{30000};
    std::chrono::milliseconds fallbackTimeout{30000};
    qint64 maxBytes = 1024 * 1024;
};

// Shared between a running check and whoever may have to stop it. Once
// cancelled, the check shows nothing more, stores nothing and ends soon:
// a running download is killed and a panel request is abandoned.
class Cancellation {
public:
    void cancel();
    [[nodiscard]] bool isCancelled() const;
    // Waits until `ready` returns true or the check is cancelled; false
    // when cancelled. `ready` is evaluated under the lock that notify()
    // takes, so whatever it reads must be set inside notify().
    [[nodiscard]] bool waitUntil(const std::function<bool()> &ready);
    void notify(const std::function<void()> &update);
    // Sleeps for `duration` unless cancelled meanwhile; false when cancelled.
    [[nodiscard]] bool sleepFor(std::chrono::milliseconds duration);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_cancelled = false;
};

// The text stored under "Last version check date": local time of the
// clock, "YYYY-MM-DD HH:MM:SS ±HHMM".
[[nodiscard]] QString dateText(const QDateTime &moment);
// That text read back; nothing when it is not in that form.
[[nodiscard]] std::optional<QDateTime> dateFromText(const QString &text);

// Fills each "%@" of a format with the next value, literally ("%%" is a
// percent sign); values are never scanned for markers themselves.
[[nodiscard]] QString fillFormat(const QString &format, const QStringList &values);

} // namespace UpdateCheck

class UpdateCheckThread;

// Finds out which system release the volume runs and whether a newer
// release of this application exists, and tells the user.
class VersionChecker {
public:
    explicit VersionChecker(const LumoraContext &context, UpdateCheck::Limits limits = {});

    // "ProductVersion" of the volume's system version file; nothing when
    // the file is missing, unreadable or names no release.
    [[nodiscard]] static std::optional<QString> getOsVersion(const Volume &volume);
    // The first two dot-separated components ("10.4.8" gives "10.4"); a
    // release without a dot is its own base.
    [[nodiscard]] static QString getBaseOsFromFullVersion(const QString &fullVersion);

    // Starts the launch check on a worker thread and returns at once, or
    // returns nothing when the user turned launch checks off. The checker
    // is copied into the worker, so this one may go away.
    [[nodiscard]] std::unique_ptr<UpdateCheckThread> checkForUpdatesInNewThreadForAppName(const QString &appName) const;

    // The body of the worker: "silent" (bool) and "appName" (string) from
    // the options, an empty or missing name becoming "the app".
    void checkForUpdatesWithOptions(const QVariantMap &options);

    // The check itself, on the caller's thread (panels from a worker are
    // shown by the GUI thread while the worker waits).
    void checkForUpdatesSilently(std::optional<bool> silent, const QString &appName, bool force);

    // The four panels. Each returns when the user has dismissed it.
    void displayErrorPanelForMissingProductDictionaryForAppName(const QString &appName);
    void displayErrorPanelForMissingOsInfo(const QString &baseOs, const QString &appName);
    void displayUpToDatePanelForAppName(const QString &appName);
    void displayUpdatePanelForOldVersion(const QString &oldVersion, const std::optional<QString> &newVersion,
                                         const QVariantMap &versionInfo, const QString &appName);

    // Used by UpdateCheckThread; a check that shares it can be stopped.
    void setCancellation(std::shared_ptr<UpdateCheck::Cancellation> cancellation);

    // The version list, downloaded with curl into a private folder and read
    // from there, else read from the fallback address; nothing when neither
    // gave a dictionary within the limits.
    [[nodiscard]] std::optional<QVariantMap> fetchVersionList();

private:
    [[nodiscard]] std::optional<QVariantMap> downloadWithCurl(const QString &address);
    [[nodiscard]] std::optional<QVariantMap> readFromAddress(const QString &address);
    // Runs `panel` on the GUI thread and waits for it; false when the check
    // was cancelled first.
    bool runPanel(const std::function<void()> &panel);
    void showPanel(const QString &title, const QString &message);
    [[nodiscard]] bool cancelled() const;

    // The application's services; the checker never uses the runner.
    LumoraContext m_services;
    UpdateCheck::Limits m_limits;
    std::shared_ptr<UpdateCheck::Cancellation> m_cancellation;
};

// One launch check on its own thread. Destroying it stops the check
// (kills the download, abandons a panel not yet shown) and joins the thread,
// so nothing runs once the owner is gone.
class UpdateCheckThread {
public:
    UpdateCheckThread(VersionChecker checker, QVariantMap options);
    ~UpdateCheckThread();
    UpdateCheckThread(const UpdateCheckThread &) = delete;
    UpdateCheckThread &operator=(const UpdateCheckThread &) = delete;

    [[nodiscard]] bool isFinished() const;
    // Waits for the check to end by itself.
    void join();

private:
    std::shared_ptr<UpdateCheck::Cancellation> m_cancellation;
    std::shared_ptr<std::atomic<bool>> m_finished;
    std::thread m_thread;
};
