#include "tests/fakes/VersionListServer.h"

#include "platform/PropertyList.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

void answer(QTcpSocket *socket, const VersionListServer::Response &response)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonFor(response.status)
                      + "\r\nContent-Type: " + response.contentType + "\r\nConnection: close\r\n";
    if (!response.unknownLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    socket->write(head + "\r\n");
    socket->write(response.body);
    socket->disconnectFromHost();
}

} // namespace

VersionListServer::VersionListServer()
{
    std::promise<std::pair<quint16, QEventLoop *>> started;
    auto ready = started.get_future();
    m_thread = std::thread([this, &started] { serve(started); });
    std::tie(m_port, m_loop) = ready.get();
}

VersionListServer::~VersionListServer()
{
    // Queued by name, so that nothing of ours crosses the thread unseen.
    if (m_loop)
        QMetaObject::invokeMethod(m_loop, "quit", Qt::QueuedConnection);
    m_thread.join();
}

void VersionListServer::serve(std::promise<std::pair<quint16, QEventLoop *>> &started)
{
    QEventLoop loop;
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        started.set_value({0, nullptr});
        return;
    }
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            auto request = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
                if (request->contains("\r\n\r\n"))
                    return; // already answered or hanging
                *request += socket->readAll();
                if (!request->contains("\r\n\r\n"))
                    return;
                const QList<QByteArray> line = request->left(request->indexOf("\r\n")).split(' ');
                const QString path = line.size() > 1 ? QString::fromLatin1(line[1]) : QString();
                const Response response = responseFor(path);
                if (response.hang)
                    return;
                if (response.closeUnanswered) {
                    socket->disconnectFromHost();
                    return;
                }
                if (response.delayMs > 0) {
                    QPointer<QTcpSocket> guarded(socket);
                    QTimer::singleShot(response.delayMs, socket, [guarded, response] {
                        if (guarded)
                            answer(guarded, response);
                    });
                } else {
                    answer(socket, response);
                }
            });
        }
    });
    started.set_value({server.serverPort(), &loop});
    loop.exec();
    // Hanging and unfinished sockets are children of the server and go
    // with it, here on their own thread.
}

QString VersionListServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void VersionListServer::setResponse(const QString &path, const Response &response)
{
    std::lock_guard lock(m_mutex);
    m_responses.insert(path, response);
}

int VersionListServer::requestCount(const QString &path) const
{
    std::lock_guard lock(m_mutex);
    return m_requests.value(path);
}

VersionListServer::Response VersionListServer::responseFor(const QString &path)
{
    std::lock_guard lock(m_mutex);
    ++m_requests[path];
    const auto it = m_responses.constFind(path);
    if (it != m_responses.constEnd())
        return *it;
    return Response{404, "<html><body>Not Found</body></html>", "text/html"};
}

quint16 VersionListServer::unusedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

bool VersionListServer::pointBundleAt(const QString &resources, const QString &path) const
{
    QFile info(resources + QStringLiteral("/Info.plist"));
    if (!info.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = PropertyList::serialize(
        QVariantMap{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("org.lumora.LumoraLogin")},
                    {QStringLiteral("CFBundleVersion"), QStringLiteral("1.0.0")},
                    {QStringLiteral("LumoraVersionListURL"), url(path)}},
        PropertyList::Format::Xml);
    return info.write(bytes) == bytes.size();
}
