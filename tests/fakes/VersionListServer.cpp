#include "tests/fakes/VersionListServer.h"

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
    m_thread.setObjectName(QStringLiteral("VersionListServer"));
    m_thread.start();
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_server = new QTcpServer(m_context);
            if (!m_server->listen(QHostAddress::LocalHost, 0))
                return;
            m_port = m_server->serverPort();
            QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
                while (QTcpSocket *socket = m_server->nextPendingConnection()) {
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
        },
        Qt::BlockingQueuedConnection);
}

VersionListServer::~VersionListServer()
{
    // Sockets and the server are children of the context and die with it,
    // on their own thread.
    QMetaObject::invokeMethod(m_context, [this] { delete m_context; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
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
