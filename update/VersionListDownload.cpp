// The version list downloaded with curl, the way the update check tries
// first.

#include "update/VersionListFetch.h"

#include "platform/Process.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <thread>
#include <sys/wait.h>

namespace UpdateCheck {

namespace {

const QString kCurl = QStringLiteral("/usr/bin/curl");

// curl stops itself at --max-time; this is only for a curl that does not.
constexpr std::chrono::milliseconds kCurlGrace{500};
constexpr std::chrono::milliseconds kPollInterval{20};

} // namespace

std::optional<QVariantMap> parseList(const QByteArray &bytes, qint64 maxBytes)
{
    PropertyList::Limits limits;
    limits.maxBytes = maxBytes;
    const auto value = PropertyList::parse(bytes, limits);
    if (!value || value->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value->toMap();
}

std::optional<QVariantMap> downloadWithCurl(const QString &address, std::chrono::milliseconds timeout,
                                            qint64 maxBytes, const std::shared_ptr<Cancellation> &cancellation)
{
    // A folder of our own (mode 0700): nobody else can plant a list or a
    // link in it, and two checks never share a file.
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/lumora-update-XXXXXX"));
    if (!folder.isValid())
        return std::nullopt;
    const QString target = folder.filePath(QStringLiteral("versions.txt"));
    const double seconds = double(timeout.count()) / 1000.0;
    // --disable (it must come first) keeps the user's .curlrc out: a "retry"
    // or "max-time" there would ask the server again or outlast our limit.
    const std::vector<QByteArray> arguments{
        QByteArrayLiteral("--disable"),
        QByteArrayLiteral("--max-time"), QByteArray::number(seconds, 'f', 3),
        QByteArrayLiteral("--max-filesize"), QByteArray::number(maxBytes),
        QByteArrayLiteral("--output"), QFile::encodeName(target),
        QByteArrayLiteral("--url"), address.toUtf8()};
    const auto pid = Process::spawn(QFile::encodeName(kCurl), arguments, -1, true);
    if (!pid)
        return std::nullopt;

    // Wait for our own child only, giving up when the check is cancelled or
    // curl overstays its own limit.
    const auto deadline = std::chrono::steady_clock::now() + timeout + kCurlGrace;
    bool ended = false;
    while (!ended) {
        int status = 0;
        const pid_t r = ::waitpid(*pid, &status, WNOHANG);
        if (r == *pid || (r < 0 && errno != EINTR)) {
            ended = true;
            break;
        }
        const bool keepWaiting = cancellation ? cancellation->sleepFor(kPollInterval)
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
    if (!info.isFile() || info.size() > maxBytes)
        return std::nullopt;
    QFile file(target);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseList(file.read(maxBytes + 1), maxBytes);
}

} // namespace UpdateCheck
