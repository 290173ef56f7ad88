#include "update/VersionChecker.h"

#include "app/LumoraLogin.h"
#include "platform/AlertPanel.h"
#include "platform/Clock.h"
#include "platform/Localized.h"
#include "platform/Log.h"
#include "platform/PreferenceDomain.h"
#include "platform/Process.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>

namespace {

const QString kCurl = QStringLiteral("/usr/bin/curl");
const QString kPrimaryAddressKey = QStringLiteral("LumoraVersionListURL");
const QString kFallbackAddressKey = QStringLiteral("LumoraVersionListFallbackURL");
const QString kOsKeyPrefix = QStringLiteral("osVersion=");

// curl stops itself at --max-time; this is only for a curl that does not.
constexpr std::chrono::milliseconds kCurlGrace{2000};
constexpr std::chrono::milliseconds kPollInterval{20};

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

// Parses a downloaded list the one guarded way, within our own size cap.
std::optional<QVariantMap> parseList(const QByteArray &bytes, qint64 maxBytes)
{
    PropertyList::Limits limits;
    limits.maxBytes = maxBytes;
    const auto value = PropertyList::parse(bytes, limits);
    if (!value || value->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value->toMap();
}

// Reads `url` on the calling thread with its own event loop. Nothing when
// the request fails, runs out of time, or the body exceeds maxBytes.
std::optional<QByteArray> readBoundedOnThisThread(const QUrl &url, std::chrono::milliseconds timeout,
                                                  qint64 maxBytes, UpdateCheck::Cancellation &cancellation)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    QNetworkReply *reply = manager.get(request);
    QByteArray body;
    bool refused = false;
    QEventLoop loop;

    auto stop = [&] {
        refused = true;
        reply->abort();
    };
    auto take = [&] {
        const qint64 room = maxBytes + 1 - body.size();
        if (room > 0)
            body += reply->read(room);
        if (body.size() > maxBytes || reply->bytesAvailable() > 0)
            stop();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        bool known = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && length > maxBytes)
            stop();
    });
    QObject::connect(reply, &QIODevice::readyRead, &loop, take);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, stop);
    deadline.start(timeout);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (cancellation.isCancelled())
            stop();
    });
    poll.start(kPollInterval);

    if (!reply->isFinished())
        loop.exec();
    if (!refused && reply->error() == QNetworkReply::NoError)
        take();
    const bool ok = !refused && reply->error() == QNetworkReply::NoError;
    delete reply;
    if (!ok)
        return std::nullopt;
    return body;
}

QDateTime nowFrom(const Clock *clock)
{
    return clock ? clock->now() : QDateTime::currentDateTime();
}

} // namespace

// ---------------------------------------------------------------------------

namespace UpdateCheck {

void Cancellation::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
}

bool Cancellation::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

bool Cancellation::waitUntil(const std::function<bool()> &ready)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_cancelled || ready(); });
    return !m_cancelled;
}

void Cancellation::notify(const std::function<void()> &update)
{
    {
        std::lock_guard lock(m_mutex);
        update();
    }
    m_changed.notify_all();
}

bool Cancellation::sleepFor(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, duration, [&] { return m_cancelled; });
    return !m_cancelled;
}

QString dateText(const QDateTime &moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    const int offset = moment.offsetFromUtc();
    const int magnitude = offset < 0 ? -offset : offset;
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d %c%02d%02d", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second(), offset < 0 ? '-' : '+',
                             magnitude / 3600, (magnitude % 3600) / 60);
}

std::optional<QDateTime> dateFromText(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2}) ([+-])(\\d{2})(\\d{2})$"));
    const auto match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    auto number = [&](int i) { return match.captured(i).toInt(); };
    const QDate date(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    const int hours = number(8);
    const int minutes = number(9);
    if (!date.isValid() || !time.isValid() || hours > 14 || minutes > 59)
        return std::nullopt;
    int offset = hours * 3600 + minutes * 60;
    if (match.captured(7) == QLatin1String("-"))
        offset = -offset;
    const QDateTime moment(date, time, QTimeZone(offset));
    if (!moment.isValid())
        return std::nullopt;
    return moment;
}

QString fillFormat(const QString &format, const QStringList &values)
{
    QString out;
    out.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == QLatin1Char('%') && i + 1 < format.size()) {
            if (format[i + 1] == QLatin1Char('@')) {
                if (next < values.size())
                    out += values[next];
                ++next;
                ++i;
                continue;
            }
            if (format[i + 1] == QLatin1Char('%')) {
                out += QLatin1Char('%');
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

} // namespace UpdateCheck

// ---------------------------------------------------------------------------

VersionChecker::VersionChecker(const LumoraContext &context, UpdateCheck::Limits limits)
    : m_services(context), m_limits(limits)
{
}

std::optional<QString> VersionChecker::getOsVersion(const Volume &volume)
{
    const auto info = PropertyList::readDictionaryFile(volume.hostPath(LoginWindow::kVersionFile));
    if (!info)
        return std::nullopt;
    return stringValue(*info, QStringLiteral("ProductVersion"));
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
    checkForUpdatesSilently(silent, appName, false);
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
                displayErrorPanelForMissingOsInfo(fullOs ? baseOs : localized("unknown"), appName);
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

// --- Fetching the list -------------------------------------------------------

std::optional<QVariantMap> VersionChecker::fetchVersionList()
{
    const QString primary = m_services.bundle.infoString(kPrimaryAddressKey);
    const QString fallback = m_services.bundle.infoString(kFallbackAddressKey);
    if (!primary.isEmpty()) {
        if (auto list = downloadWithCurl(primary))
            return list;
    }
    if (cancelled() || fallback.isEmpty())
        return std::nullopt;
    return readFromAddress(fallback);
}

std::optional<QVariantMap> VersionChecker::downloadWithCurl(const QString &address)
{
    // A folder of our own (mode 0700): nobody else can plant a list or a
    // link in it, and two checks never share a file.
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/lumora-update-XXXXXX"));
    if (!folder.isValid())
        return std::nullopt;
    const QString target = folder.filePath(QStringLiteral("versions.txt"));
    const double seconds = double(m_limits.downloadTimeout.count()) / 1000.0;
    const std::vector<QByteArray> arguments{
        QByteArrayLiteral("--max-time"), QByteArray::number(seconds, 'f', 3),
        QByteArrayLiteral("--max-filesize"), QByteArray::number(m_limits.maxBytes),
        QByteArrayLiteral("--output"), QFile::encodeName(target),
        QByteArrayLiteral("--url"), address.toUtf8()};
    const auto pid = Process::spawn(QFile::encodeName(kCurl), arguments, -1, true);
    if (!pid)
        return std::nullopt;

    // Wait for our own child only, giving up when the check is cancelled or
    // curl overstays its own limit.
    const auto deadline = std::chrono::steady_clock::now() + m_limits.downloadTimeout + kCurlGrace;
    bool ended = false;
    while (!ended) {
        int status = 0;
        const pid_t r = ::waitpid(*pid, &status, WNOHANG);
        if (r == *pid || (r < 0 && errno != EINTR)) {
            ended = true;
            break;
        }
        const bool keepWaiting = m_cancellation ? m_cancellation->sleepFor(kPollInterval)
                                                : (std::this_thread::sleep_for(kPollInterval), true);
        if (!keepWaiting || std::chrono::steady_clock::now() > deadline) {
            ::kill(*pid, SIGKILL);
            (void)Process::waitFor(*pid);
            return std::nullopt;
        }
    }

    // curl cannot stop a body of unknown length at --max-filesize, so the
    // size is checked again before anything is read.
    const QFileInfo info(target);
    if (!info.isFile() || info.size() > m_limits.maxBytes)
        return std::nullopt;
    QFile file(target);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseList(file.read(m_limits.maxBytes + 1), m_limits.maxBytes);
}

std::optional<QVariantMap> VersionChecker::readFromAddress(const QString &address)
{
    const QUrl url(address);
    if (!url.isValid())
        return std::nullopt;
    // A thread of its own with its own event loop, so that a manual check
    // on the GUI thread never re-enters the window's event handling.
    auto cancellation = m_cancellation ? m_cancellation : std::make_shared<UpdateCheck::Cancellation>();
    std::optional<QByteArray> body;
    std::thread reader([&] {
        body = readBoundedOnThisThread(url, m_limits.fallbackTimeout, m_limits.maxBytes, *cancellation);
    });
    reader.join();
    if (!body)
        return std::nullopt;
    return parseList(*body, m_limits.maxBytes);
}

// --- Panels ------------------------------------------------------------------

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
    QMetaObject::invokeMethod(
        app,
        [cancellation, done, panel] {
            if (cancellation->isCancelled())
                return;
            panel();
            cancellation->notify([&] { *done = true; });
        },
        Qt::QueuedConnection);
    return cancellation->waitUntil([&] { return *done; });
}

void VersionChecker::showPanel(const QString &title, const QString &message)
{
    AlertPanel *alerts = m_services.alerts;
    if (!alerts)
        return;
    alerts->activateApplication();
    alerts->runAlert(title, message, localized("OK"));
}

void VersionChecker::displayErrorPanelForMissingProductDictionaryForAppName(const QString &appName)
{
    runPanel([=, this] {
        const QString title = localized("Unable to check for updates");
        const QString format = localized("%@ was unable to check for updates.  Please make sure you are "
                                         "connected to the internet and try again.");
        showPanel(title, UpdateCheck::fillFormat(format, {appName}));
    });
}

void VersionChecker::displayErrorPanelForMissingOsInfo(const QString &baseOs, const QString &appName)
{
    runPanel([=, this] {
        const QString title = localized("Unable to check for updates");
        const QString format =
            localized("%@ could not determine the most recent version information for Mac OS %@.");
        showPanel(title, UpdateCheck::fillFormat(format, {appName, baseOs}));
    });
}

void VersionChecker::displayUpToDatePanelForAppName(const QString &appName)
{
    runPanel([=, this] {
        const QString title = UpdateCheck::fillFormat(localized("%@ is up to date"), {appName});
        const QString format = localized("You have the most recent version of %@.");
        showPanel(title, UpdateCheck::fillFormat(format, {appName}));
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
        const QString title = localized("A new version is available");
        const QString format = localized(
            "%@ version %@ is available.  You have version %@ installed.  Here are some of the features of "
            "version %@:\n\n%@\nWould you like to download the new version now?");
        const QString ok = localized("OK");
        const QString cancel = localized("Cancel");
        const QString shownVersion = newVersion.value_or(localized("unknown"));
        const QVariant features = versionInfo.value(QStringLiteral("newFeatures"));
        const QString featureText = features.typeId() == QMetaType::QString ? features.toString() : QString();
        const QString message = UpdateCheck::fillFormat(
            format, {appName, shownVersion, oldVersion, shownVersion, featureText});
        if (alerts->runAlert(title, message, ok, cancel) != AlertPanel::DefaultReturn)
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
        if (m_services.workspace)
            (void)m_services.workspace->openUrl(url);
    });
}

// --- The launch check's thread --------------------------------------------------

UpdateCheckThread::UpdateCheckThread(VersionChecker checker, QVariantMap options)
    : m_cancellation(std::make_shared<UpdateCheck::Cancellation>()),
      m_finished(std::make_shared<std::atomic<bool>>(false))
{
    checker.setCancellation(m_cancellation);
    m_thread = std::thread([checker = std::move(checker), options = std::move(options),
                            finished = m_finished]() mutable {
        checker.checkForUpdatesWithOptions(options);
        finished->store(true);
    });
}

UpdateCheckThread::~UpdateCheckThread()
{
    m_cancellation->cancel();
    if (m_thread.joinable())
        m_thread.join();
}

bool UpdateCheckThread::isFinished() const
{
    return m_finished->load();
}

void UpdateCheckThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
}
