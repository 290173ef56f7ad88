#pragma once

#include "platform/LoginWindow.h"
#include "platform/PlatformServices.h"
#include "platform/PropertyList.h"
#include "update/UpdateCheckThread.h"
#include "platform/UserDefaults.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeWorkspace.h"
#include "tests/fakes/LogCapture.h"
#include "tests/fakes/VersionListServer.h"
#include "update/VersionChecker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

inline const QString kIdentifier = QStringLiteral("org.lumora.LumoraLogin");
inline const QString kPrimaryPath = QStringLiteral("/versions.txt");
inline const QString kFallbackPath = QStringLiteral("/mirror/versions.txt");

// A version info entry as the update server writes it.
inline QVariantMap versionInfo(const QVariant &latest, const QString &features = QStringLiteral("Faster saves."),
                               const QString &url = QStringLiteral("https://lumora-login.example.org/get.dmg"))
{
    QVariantMap info{{QStringLiteral("newFeatures"), features}, {QStringLiteral("downloadURL"), url}};
    if (latest.isValid())
        info.insert(QStringLiteral("latestVersion"), latest);
    return info;
}

// A list naming only this product, with the given release entries.
inline QByteArray productList(const QVariantMap &releases)
{
    return PropertyList::serialize(QVariantMap{{kIdentifier, releases}}, PropertyList::Format::Xml);
}

// The little of a system volume that a check reads (the system version
// file) and a resources folder whose Info.plist points at the server.
struct UpdateVolume {
    explicit UpdateVolume(const QString &release)
    {
        QDir().mkpath(scratch());
        QDir().mkpath(resources());
        const QString versionFile = hostPath(LoginWindow::kVersionFile);
        QDir().mkpath(QFileInfo(versionFile).path());
        QFile file(versionFile);
        if (file.open(QIODevice::WriteOnly))
            file.write(PropertyList::serialize(QVariantMap{{QStringLiteral("ProductVersion"), release}},
                                               PropertyList::Format::Xml));
    }
    [[nodiscard]] QString root() const { return m_dir.path() + QStringLiteral("/volume"); }
    [[nodiscard]] Volume volume() const { return Volume(root()); }
    [[nodiscard]] QString hostPath(const QString &volumePath) const { return volume().hostPath(volumePath); }
    [[nodiscard]] QString resources() const { return m_dir.path() + QStringLiteral("/resources"); }
    [[nodiscard]] QString scratch() const { return m_dir.path() + QStringLiteral("/scratch"); }
    [[nodiscard]] Bundle bundle() const { return Bundle(resources(), QCoreApplication::applicationDirPath()); }

private:
    QTemporaryDir m_dir;
};

// A volume, a loopback update server, and recording doubles for everything
// a check touches.
struct UpdateFixture {
    explicit UpdateFixture(const QString &release = QStringLiteral("10.4.11"))
        : volume(release)
    {
        defaults = std::make_unique<UserDefaults>(volume.scratch() + QStringLiteral("/defaults.ini"));
        defaults->registerDefaults({{PreferenceKeys::kCheckForUpdates, QStringLiteral("YES")}});
        writeInfo(server.url(kPrimaryPath), server.url(kFallbackPath));
    }

    void writeInfo(const QString &primary, const QString &fallback,
                   const QString &version = QStringLiteral("1.0.0"))
    {
        const QVariantMap info{{QStringLiteral("CFBundleIdentifier"), kIdentifier},
                               {QStringLiteral("CFBundleVersion"), version},
                               {QStringLiteral("LumoraVersionListURL"), primary},
                               {QStringLiteral("LumoraVersionListFallbackURL"), fallback}};
        QFile file(volume.resources() + QStringLiteral("/Info.plist"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(PropertyList::serialize(info, PropertyList::Format::Xml));
    }

    [[nodiscard]] PlatformServices services()
    {
        return PlatformServices{volume.volume(), volume.bundle(), defaults.get(), &alerts, &workspace, &clock};
    }

    [[nodiscard]] VersionChecker checker(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000))
    {
        UpdateCheck::Limits limits;
        limits.downloadTimeout = timeout;
        return VersionChecker(services(), limits);
    }

    [[nodiscard]] QString storedDate() const
    {
        return defaults->stringForKey(PreferenceKeys::kLastVersionCheckDate);
    }

    [[nodiscard]] QStringList panelTitles() const
    {
        QStringList titles;
        for (const auto &panel : alerts.shown())
            titles << panel.title;
        return titles;
    }

    UpdateVolume volume;
    VersionListServer server;
    FakeAlertPanel alerts;
    FakeWorkspace workspace;
    FakeClock clock;
    std::unique_ptr<UserDefaults> defaults;
    LogCapture log;
};
