#include "Glimmerd/FinderSyncHost/FinderSyncHost.hpp"

#include "Glimmerd/FinderSyncHost/FinderSyncProtocol.hpp"
#include "Glimmerd/FinderSyncHost/GlimmerSocketPath.hpp"

#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <list>
#include <sys/socket.h>

namespace FinderSyncHost {

namespace {

bool isPeerAllowed(QLocalSocket& socket, uid_t allowedUser)
{
    struct ucred credentials { };
    socklen_t length = sizeof(credentials);
    auto descriptor = static_cast<int>(socket.socketDescriptor());
    if (getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return credentials.uid == allowedUser;
}

} // namespace

struct FinderSyncHost::Implementation {
    struct Connection {
        QLocalSocket* socket = nullptr;
        std::string buffer;
        bool subscribed = false;
        // Closed and waiting to be removed once no handler runs for it any more.
        bool closed = false;
        std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
    };

    FinderSyncHostOptions options;
    std::shared_ptr<FinderSyncKit::FinderSyncController> controller;
    FinderSyncProtocol protocol;
    QLocalServer server;
    QTimer idleSweep;
    std::list<Connection> connections;
    FinderSyncKit::FinderSyncController::ObserverID badgeObserver = 0;
    FinderSyncKit::FinderSyncController::ObserverID directoriesObserver = 0;

    Implementation(FinderSyncHostOptions hostOptions, std::shared_ptr<FinderSyncKit::FinderSyncController> hostController,
        std::shared_ptr<FinderSyncKit::FinderSyncExtension> extension)
        : options(std::move(hostOptions))
        , controller(hostController)
        , protocol(std::move(hostController), std::move(extension))
    {
    }

    ~Implementation()
    {
        controller->removeObserver(badgeObserver);
        controller->removeObserver(directoriesObserver);
        server.close();
        for (auto& connection : connections) {
            QObject::disconnect(connection.socket, nullptr, nullptr, nullptr);
            connection.socket->abort();
            delete connection.socket;
        }
    }

    void accept()
    {
        while (auto* socket = server.nextPendingConnection()) {
            socket->setParent(nullptr);
            auto serving = std::count_if(connections.begin(), connections.end(), [](const auto& connection) { return !connection.closed; });
            if (!isPeerAllowed(*socket, options.allowedUser) || static_cast<std::size_t>(serving) >= options.maximumConnections) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto& connection = connections.emplace_back(Connection { socket, {}, false, false, std::chrono::steady_clock::now() });
            auto position = std::prev(connections.end());
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, position] { read(position); });
            QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, position] { drop(position); });
            // Data may have arrived before the signals were connected.
            if (connection.socket->bytesAvailable() > 0)
                read(position);
        }
    }

    // Closes a connection at once but removes it only from the event loop:
    // a request being answered or an event being sent may still hold it.
    void drop(std::list<Connection>::iterator position)
    {
        if (position->closed)
            return;
        position->closed = true;
        position->subscribed = false;
        QObject::disconnect(position->socket, nullptr, nullptr, nullptr);
        position->socket->abort();
        QMetaObject::invokeMethod(&server, [this] { purge(); }, Qt::QueuedConnection);
    }

    void closeIdle()
    {
        auto oldest = std::chrono::steady_clock::now() - options.idleTimeout;
        for (auto position = connections.begin(); position != connections.end(); ++position) {
            if (!position->closed && !position->subscribed && position->lastActivity < oldest)
                drop(position);
        }
    }

    void purge()
    {
        for (auto position = connections.begin(); position != connections.end();) {
            if (!position->closed) {
                ++position;
                continue;
            }
            position->socket->deleteLater();
            position = connections.erase(position);
        }
    }

    void send(std::list<Connection>::iterator position, const std::string& line)
    {
        position->socket->write(line.data(), static_cast<qint64>(line.size()));
    }

    void read(std::list<Connection>::iterator position)
    {
        auto bytes = position->socket->readAll();
        position->lastActivity = std::chrono::steady_clock::now();
        position->buffer.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        std::size_t start = 0;
        while (true) {
            auto newline = position->buffer.find('\n', start);
            if (newline == std::string::npos)
                break;
            if (newline - start > maximumLineLength)
                return drop(position);
            auto answer = protocol.answer(std::string_view(position->buffer).substr(start, newline - start));
            start = newline + 1;
            if (position->closed)
                return;
            if (answer.subscribes)
                position->subscribed = true;
            send(position, answer.line);
        }
        position->buffer.erase(0, start);
        if (position->buffer.size() > maximumLineLength)
            return drop(position);
    }

    void broadcast(const std::string& line)
    {
        for (auto position = connections.begin(); position != connections.end(); ++position) {
            if (!position->subscribed)
                continue;
            if (static_cast<std::size_t>(position->socket->bytesToWrite()) > options.maximumPendingBytes) {
                drop(position);
                continue;
            }
            send(position, line);
        }
    }
};

std::expected<std::unique_ptr<FinderSyncHost>, std::string> FinderSyncHost::listen(FinderSyncHostOptions options,
    std::shared_ptr<FinderSyncKit::FinderSyncController> controller,
    std::shared_ptr<FinderSyncKit::FinderSyncExtension> extension)
{
    if (auto prepared = prepareSocketDirectory(options.socketPath); !prepared)
        return std::unexpected(prepared.error());
    auto implementation = std::make_unique<Implementation>(std::move(options), std::move(controller), std::move(extension));
    auto path = QString::fromStdString(implementation->options.socketPath.string());
    QLocalServer::removeServer(path);
    implementation->server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!implementation->server.listen(path))
        return std::unexpected("Der Socket " + implementation->options.socketPath.string()
            + " lässt sich nicht öffnen: " + implementation->server.errorString().toStdString());
    auto* raw = implementation.get();
    QObject::connect(&raw->server, &QLocalServer::newConnection, &raw->server, [raw] { raw->accept(); });
    QObject::connect(&raw->idleSweep, &QTimer::timeout, &raw->server, [raw] { raw->closeIdle(); });
    raw->idleSweep.start(std::max(raw->options.idleTimeout / 4, std::chrono::milliseconds(10)));
    raw->badgeObserver = raw->controller->observeBadges([raw](const Platform::URL& url, const std::string& identifier) {
        raw->broadcast(FinderSyncProtocol::badgeEvent(url, identifier));
    });
    raw->directoriesObserver = raw->controller->observeDirectories([raw](const std::set<Platform::URL>& directories) {
        raw->broadcast(FinderSyncProtocol::observedEvent(directories));
    });
    return std::unique_ptr<FinderSyncHost>(new FinderSyncHost(std::move(implementation)));
}

FinderSyncHost::FinderSyncHost(std::unique_ptr<Implementation> implementation)
    : m_implementation(std::move(implementation))
{
}

FinderSyncHost::~FinderSyncHost() = default;

const std::filesystem::path& FinderSyncHost::socketPath() const
{
    return m_implementation->options.socketPath;
}

std::size_t FinderSyncHost::connectionCount() const
{
    return static_cast<std::size_t>(std::count_if(m_implementation->connections.begin(),
        m_implementation->connections.end(), [](const auto& connection) { return !connection.closed; }));
}

} // namespace FinderSyncHost
