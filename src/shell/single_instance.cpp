#include "shell/single_instance.h"

#include "platform/peer_user.h"
#include "platform/private_folder.h"

#include <QLocalSocket>
#include <QTimer>

#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <utility>

namespace kv::shell {

namespace {

constexpr int kConnectTimeoutMs = 1000;
// The running copy may be busy (a dialog's loop still reads the socket, a port
// wait may not): a stalled write is given up after this long without progress.
constexpr int kWriteTimeoutMs = 5000;
// A launch that connects and neither finishes nor goes away is cut off.
constexpr int kRequestTimeoutMs = 10000;

constexpr char kForeignPeer[] =
    "Am Treffpunkt %1 antwortet ein Programm eines anderen Benutzers; ihm wird nichts "
    "übergeben, dieses Programm läuft für sich.";

constexpr char kRaiseLine[] = "raise";

// A socket whose other end is a process of this user.
bool ownPeer(qintptr descriptor) {
    return platform::peerIsSelf(static_cast<int>(descriptor));
}
constexpr char kOpenPrefix[] = "open\t";
// Before "raise": the running copy has them when it comes to the front.
constexpr char kStartupIdPrefix[] = "startup-id\t";
constexpr char kActivationTokenPrefix[] = "activation-token\t";
// Real ones are a few dozen bytes; a huge one must not push the files out of the request.
constexpr std::size_t kMaxTokenBytes = 4096;

QByteArray encodeLine(const char* prefix, const std::string& value) {
    return prefix + QByteArray::fromStdString(value).toPercentEncoding("/") + '\n';
}

// The value of a line `prefix` + value, or nullopt for a line of another kind.
std::optional<QByteArray> lineValue(const QByteArray& line, const char* prefix) {
    if (!line.startsWith(prefix))
        return std::nullopt;
    return QByteArray::fromPercentEncoding(line.mid(qsizetype(std::strlen(prefix))));
}

// Files beyond the size limit are left out: the request still holds far more
// than an album takes, so the running copy says the album is full before them.
QByteArray encodeRequest(const QStringList& files, const platform::LaunchTokens& launch) {
    QByteArray request;
    const auto fits = [](const std::string& token) {
        return !token.empty() && token.size() <= kMaxTokenBytes;
    };
    if (fits(launch.startupId))
        request += encodeLine(kStartupIdPrefix, launch.startupId);
    if (fits(launch.activationToken))
        request += encodeLine(kActivationTokenPrefix, launch.activationToken);
    request += QByteArray(kRaiseLine) + '\n';
    for (const QString& file : files) {
        const QByteArray line = encodeLine(kOpenPrefix, file.toStdString());
        if (request.size() + line.size() > SingleInstance::kMaxRequestBytes)
            break;
        request += line;
    }
    return request;
}

// One later launch's request as it comes in.
struct Request {
    QByteArray pending; // an unfinished line
    qint64 received = 0;
    QStringList files;
    platform::LaunchTokens launch;
    bool done = false; // taken, dropped or cut off: nothing more is read into it
};

} // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), m_name(std::move(serverName)) {
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    // A bare name goes into the user's private folder: a name in /tmp anyone could
    // compute and listen on first.
    if (!m_name.startsWith('/')) {
        const platform::PrivateFolder folder = platform::privateFolder("kvphoto", "kvphoto/run");
        m_problem = QString::fromStdString(folder.problem);
        m_name = QString::fromStdString((folder.path / m_name.toStdString()).string());
    }
}

bool SingleInstance::claim(const QStringList& files, const platform::LaunchTokens& launch) {
    // Without a folder of our own there is no safe meeting point: the program runs on
    // its own.
    if (!m_problem.isEmpty()) {
        std::cerr << m_problem.toStdString() << std::endl;
        return true;
    }
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        if (!ownPeer(socket.socketDescriptor())) {
            std::cerr << QString::fromUtf8(kForeignPeer).arg(m_name).toStdString() << std::endl;
            return true;
        }
        socket.write(encodeRequest(files, launch));
        // Ending before the bytes are out would lose the files.
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(kWriteTimeoutMs)) {
        }
        m_handedOver = socket.bytesToWrite() == 0;
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(kConnectTimeoutMs);
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
        if (!ownPeer(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto request = std::make_shared<Request>();
        auto read = [this, socket, request] {
            const QByteArray bytes = socket->readAll();
            if (request->done)
                return;
            request->received += bytes.size();
            if (request->received > kMaxRequestBytes) {
                std::cerr << "Anfrage eines zweiten Programmstarts zu groß, verworfen" << std::endl;
                *request = Request{};
                request->done = true;
                socket->abort();
                return;
            }
            request->pending += bytes;
            qsizetype start = 0;
            for (qsizetype end; (end = request->pending.indexOf('\n', start)) >= 0;
                 start = end + 1) {
                const QByteArray line = request->pending.mid(start, end - start);
                if (line == kRaiseLine)
                    emit activationRequested(request->launch);
                else if (const auto path = lineValue(line, kOpenPrefix); path && !path->isEmpty())
                    request->files << QString::fromUtf8(*path);
                else if (const auto id = lineValue(line, kStartupIdPrefix))
                    request->launch.startupId = id->toStdString();
                else if (const auto token = lineValue(line, kActivationTokenPrefix))
                    request->launch.activationToken = token->toStdString();
                // Other lines are for later versions of the program.
            }
            request->pending.remove(0, start);
        };
        // The files go out from the event loop, not from inside the socket's own
        // signal: adding them may show message boxes, whose loops run on.
        auto finish = [this, socket, request, read] {
            read();
            // An unfinished last line may be a cut-off path: it is not taken.
            if (!std::exchange(request->done, true) && !request->files.isEmpty())
                QMetaObject::invokeMethod(
                    this, [this, files = request->files] { emit filesReceived(files); },
                    Qt::QueuedConnection);
            socket->deleteLater();
        };
        connect(socket, &QLocalSocket::readyRead, socket, read);
        connect(socket, &QLocalSocket::disconnected, socket, finish);
        QTimer::singleShot(kRequestTimeoutMs, socket, [socket, request] {
            request->done = true;
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            read();
        // Gone before we looked: everything it sent is already here.
        if (socket->state() == QLocalSocket::UnconnectedState)
            finish();
    }
}

} // namespace kv::shell
