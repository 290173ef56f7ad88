// The version list read straight from the fallback address with Qt
// Network, when the download gave none.

#include "update/VersionListFetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <thread>

namespace UpdateCheck {

namespace {

constexpr std::chrono::milliseconds kPollInterval{20};

// Reads `url` on the calling thread with its own event loop. Nothing when
// the request fails, runs out of time, or the body exceeds maxBytes.
std::optional<QByteArray> readBoundedOnThisThread(const QUrl &url, std::chrono::milliseconds timeout,
                                                  qint64 maxBytes, Cancellation &cancellation)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    // Sent as a custom verb: Qt sends an idempotent request again when the
    // server closes the connection without an answer, and each address is
    // to be asked once.
    QNetworkReply *reply = manager.sendCustomRequest(request, QByteArrayLiteral("GET"));
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

} // namespace

std::optional<QVariantMap> readFromAddress(const QString &address, std::chrono::milliseconds timeout,
                                           qint64 maxBytes, const std::shared_ptr<Cancellation> &cancellation)
{
    const QUrl url(address);
    if (!url.isValid())
        return std::nullopt;
    // A thread of its own with its own event loop, so that a manual check
    // on the GUI thread never re-enters the window's event handling.
    const auto shared = cancellation ? cancellation : std::make_shared<Cancellation>();
    std::optional<QByteArray> body;
    std::thread reader([&] {
        body = readBoundedOnThisThread(url, timeout, maxBytes, *shared);
    });
    reader.join();
    if (!body)
        return std::nullopt;
    return parseList(*body, maxBytes);
}

} // namespace UpdateCheck
