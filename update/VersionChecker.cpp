#include "update/VersionChecker.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/LoginWindow.h"
#include "platform/UserDefaults.h"
#include "update/UpdateCheckThread.h"
#include "update/VersionListFetch.h"

#include <QCoreApplication>

namespace {

const QString kPrimaryAddressKey = QStringLiteral("LumoraVersionListURL");
const QString kFallbackAddressKey = QStringLiteral("LumoraVersionListFallbackURL");
const QString kOsKeyPrefix = QStringLiteral("osVersion=");

// Text from the network goes into log lines; keep it on one line.
QString printable(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char('?');
    }
    return out;
}

std::optional<QVariantMap> dictionaryValue(const QVariantMap &map, const QString &key)
{
    const QVariant value = map.value(key);
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value.toMap();
}

// A version written as a number in the list still names a version; any
// other kind of value does not.
std::optional<QString> versionValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Double:
        return value.toString();
    default:
        return std::nullopt;
    }
}

QDateTime nowFrom(const Clock *clock)
{
    return clock ? clock->now() : QDateTime::currentDateTime();
}

} // namespace

VersionChecker::VersionChecker(const PlatformServices &services, UpdateCheck::Limits limits)
    : m_services(services), m_limits(limits)
{
}

std::optional<QString> VersionChecker::getOsVersion(const Volume &volume)
{
    return LoginWindow::systemRelease(volume);
}

QString VersionChecker::getBaseOsFromFullVersion(const QString &fullVersion)
{
    const QStringList parts = fullVersion.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return fullVersion;
    return parts[0] + QLatin1Char('.') + parts[1];
}

void VersionChecker::setCancellation(std::shared_ptr<UpdateCheck::Cancellation> cancellation)
{
    m_cancellation = std::move(cancellation);
}

bool VersionChecker::cancelled() const
{
    return m_cancellation && m_cancellation->isCancelled();
}

std::unique_ptr<UpdateCheckThread> VersionChecker::checkForUpdatesInNewThreadForAppName(const QString &appName) const
{
    if (m_services.defaults && !m_services.defaults->boolForKey(PreferenceKeys::kCheckForUpdates))
        return nullptr;
    const QVariantMap options{{QStringLiteral("silent"), true}, {QStringLiteral("appName"), appName}};
    return std::make_unique<UpdateCheckThread>(*this, options);
}

void VersionChecker::checkForUpdatesWithOptions(const QVariantMap &options)
{
    const QVariant silentValue = options.value(QStringLiteral("silent"));
    const std::optional<bool> silent =
        silentValue.isValid() ? std::optional<bool>(UserDefaults::readsAsTrue(silentValue)) : std::nullopt;
    QString appName = options.value(QStringLiteral("appName")).toString();
    if (appName.isEmpty())
        appName = QStringLiteral("the app");
    checkForUpdatesSilently(silent, appName, options.value(QStringLiteral("force")).toBool());
}

void VersionChecker::checkForUpdatesSilently(std::optional<bool> silentArgument, const QString &appName,
                                             bool force)
{
    UserDefaults *defaults = m_services.defaults;
    const QDateTime now = nowFrom(m_services.clock);

    // A stored date that does not read back would otherwise stop launch
    // checks for good; it counts as no check so far and is replaced below.
    if (!force && defaults) {
        const QVariant stored = defaults->objectForKey(PreferenceKeys::kLastVersionCheckDate);
        const auto last = stored.typeId() == QMetaType::QString
                              ? UpdateCheck::dateFromText(stored.toString())
                              : std::nullopt;
        if (last && now.msecsTo(*last) >= -UpdateCheck::kMinimumInterval * 1000)
            return;
    }

    const bool silent = silentArgument.value_or(false);
    const QString currentVersion = m_services.bundle.version();
    // Without a readable release no entry of the list can apply; the keys
    // are still logged, but nothing is looked up under them.
    const std::optional<QString> fullOs = getOsVersion(m_services.volume);
    const QString baseOs = fullOs ? getBaseOsFromFullVersion(*fullOs) : QString();
    const QString fullOsKey = kOsKeyPrefix + fullOs.value_or(QString());
    const QString baseOsKey = kOsKeyPrefix + baseOs;

    Log::write(QStringLiteral("Current version = %1").arg(currentVersion));
    Log::write(QStringLiteral("Full OS: '%1', base OS: = '%2'").arg(fullOsKey, baseOsKey));

    const std::optional<QVariantMap> list = fetchVersionList();
    if (cancelled())
        return;

    if (!list) {
        if (!silent)
            displayErrorPanelForMissingProductDictionaryForAppName(appName);
        Log::write(QStringLiteral("Unable to load product dictionary from '%1'")
                       .arg(m_services.bundle.infoString(kFallbackAddressKey)));
    } else {
        std::optional<QVariantMap> versionInfo;
        const auto product = dictionaryValue(*list, m_services.bundle.bundleIdentifier());
        if (product && fullOs) {
            versionInfo = dictionaryValue(*product, fullOsKey);
            if (!versionInfo)
                versionInfo = dictionaryValue(*product, baseOsKey);
        }
        if (!versionInfo) {
            if (!silent)
                displayErrorPanelForMissingOsInfo(fullOs ? baseOs : QCoreApplication::translate("Lumora", "unknown"),
                                                  appName);
        } else {
            const std::optional<QString> latest =
                versionValue(versionInfo->value(QStringLiteral("latestVersion")));
            Log::write(QStringLiteral("latestVersionNumber = %1")
                           .arg(latest ? printable(*latest) : QStringLiteral("(null)")));
            if (latest && *latest == currentVersion) {
                if (!silent)
                    displayUpToDatePanelForAppName(appName);
            } else {
                displayUpdatePanelForOldVersion(currentVersion, latest, *versionInfo, appName);
            }
        }
    }

    if (cancelled() || !defaults)
        return;
    defaults->setObject(PreferenceKeys::kLastVersionCheckDate,
                        UpdateCheck::dateText(nowFrom(m_services.clock)));
}

std::optional<QVariantMap> VersionChecker::fetchVersionList()
{
    // One time limit for the whole fetch, so the outcome is there within it
    // however both servers behave. Each address is asked once: the download
    // may take half of the time when a fallback follows, the fallback has
    // what is left (at least the other half, less curl's grace).
    using namespace std::chrono;
    const QString primary = m_services.bundle.infoString(kPrimaryAddressKey);
    const QString fallback = m_services.bundle.infoString(kFallbackAddressKey);
    const auto deadline = steady_clock::now() + m_limits.downloadTimeout;
    if (!primary.isEmpty()) {
        const milliseconds share = fallback.isEmpty() ? m_limits.downloadTimeout : m_limits.downloadTimeout / 2;
        if (auto list = UpdateCheck::downloadWithCurl(primary, share, m_limits.maxBytes, m_cancellation))
            return list;
    }
    if (cancelled() || fallback.isEmpty())
        return std::nullopt;
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
    if (left <= milliseconds::zero())
        return std::nullopt;
    return UpdateCheck::readFromAddress(fallback, left, m_limits.maxBytes, m_cancellation);
}
