#include "shell/single_instance.h"

#include <QLocalSocket>

namespace kv::shell {

namespace {
constexpr int kConnectTimeoutMs = 1000;
constexpr char kRaiseRequest[] = "raise\n";
} // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), m_name(std::move(serverName)) {
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

bool SingleInstance::claim() {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        socket.write(kRaiseRequest);
        socket.waitForBytesWritten(kConnectTimeoutMs);
        socket.disconnectFromServer();
        return false;
    }
    // Nobody answers: whatever socket file is there is stale.
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    // Failing to listen must not stop the program; it only loses the single-instance guard.
    m_server.listen(m_name);
    return true;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        auto readRequest = [this, socket] {
            if (socket->readAll().contains("raise"))
                emit activationRequested();
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            readRequest();
    }
}

} // namespace kv::shell
