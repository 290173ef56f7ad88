#pragma once

#include "platform/PlatformServices.h"
#include "update/UpdateCheck.h"

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class UpdateCheckThread;

// Finds out which system release the volume runs and whether a newer
// release of this application exists, and tells the user.
class VersionChecker {
public:
    explicit VersionChecker(const PlatformServices &services, UpdateCheck::Limits limits = {});

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
    // the options, an empty or missing name becoming "the app"; "force"
    // (bool, the manual check) skips the interval test.
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
    // Runs `panel` on the GUI thread and waits for it; false when the check
    // was cancelled first.
    bool runPanel(const std::function<void()> &panel);
    void showPanel(const QString &title, const QString &message, bool information = false);
    [[nodiscard]] bool cancelled() const;

    // The application's services; the checker never uses the runner.
    PlatformServices m_services;
    UpdateCheck::Limits m_limits;
    std::shared_ptr<UpdateCheck::Cancellation> m_cancellation;
};

