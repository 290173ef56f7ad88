#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <future>
#include <mutex>
#include <thread>

class QEventLoop;

// A small HTTP/1.1 server on loopback, on a thread of its own, that serves
// fixed answers per path. It can also accept a request and never answer.
class VersionListServer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "text/plain";
        // No Content-Length: the body ends when the connection closes.
        bool unknownLength = false;
        // Accept, read the request, and never answer.
        bool hang = false;
        int delayMs = 0;
        // Read the request and close the connection without an answer.
        bool closeUnanswered = false;
    };

    VersionListServer();
    ~VersionListServer();
    VersionListServer(const VersionListServer &) = delete;
    VersionListServer &operator=(const VersionListServer &) = delete;

    [[nodiscard]] bool isListening() const { return m_port != 0; }
    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] QString url(const QString &path) const;
    // Writes an Info.plist into `resources` whose update check asks this
    // server for `path` (version 1.0.0 of the application's identifier).
    [[nodiscard]] bool pointBundleAt(const QString &resources, const QString &path) const;

    // Paths without an answer get a 404 page.
    void setResponse(const QString &path, const Response &response);
    void setList(const QString &path, const QByteArray &body) { setResponse(path, Response{200, body}); }
    [[nodiscard]] int requestCount(const QString &path) const;

    // A loopback port on which nothing listens (bound once, then released).
    [[nodiscard]] static quint16 unusedPort();

private:
    [[nodiscard]] Response responseFor(const QString &path);
    void serve(std::promise<std::pair<quint16, QEventLoop *>> &started);

    // A plain thread (not QThread), so that starting and joining it are
    // visible to the thread sanitizer.
    std::thread m_thread;
    QEventLoop *m_loop = nullptr; // lives on m_thread
    quint16 m_port = 0;
    mutable std::mutex m_mutex;
    QHash<QString, Response> m_responses;
    QHash<QString, int> m_requests;
};
