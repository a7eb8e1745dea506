#include "Glimmerd/Control/GlimmerClient.hpp"

#include "Glimmerd/FinderSyncHost/GlimmerSocketPath.hpp"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Control {

namespace {

ClientError unreachable(const std::string& text)
{
    return { ClientError::Kind::unreachable, "glimmerd ist nicht erreichbar: " + text };
}

} // namespace

std::expected<GlimmerClient, ClientError> GlimmerClient::connect(const std::filesystem::path& socketPath)
{
    sockaddr_un address { };
    address.sun_family = AF_UNIX;
    const auto& path = socketPath.native();
    if (path.size() >= sizeof(address.sun_path))
        return std::unexpected(unreachable("der Socket-Pfad ist zu lang"));
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // Whoever serves the socket learns every path asked about and chooses the
    // menu entries, so it must be this user's own glimmerd.
    if (auto trusted = FinderSyncHost::checkSocketDirectory(socketPath); !trusted)
        return std::unexpected(unreachable(trusted.error()));
    int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return std::unexpected(unreachable(std::strerror(errno)));
    if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        auto error = errno;
        close(descriptor);
        return std::unexpected(unreachable(socketPath.string() + ": " + std::strerror(error)));
    }
    if (auto peer = FinderSyncHost::checkSocketPeer(descriptor); !peer) {
        close(descriptor);
        return std::unexpected(unreachable(peer.error()));
    }
    return GlimmerClient(descriptor);
}

GlimmerClient::GlimmerClient(int descriptor)
    : m_descriptor(descriptor)
{
}

GlimmerClient::GlimmerClient(GlimmerClient&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
    , m_nextID(other.m_nextID)
    , m_buffer(std::move(other.m_buffer))
    , m_pending(std::move(other.m_pending))
{
}

GlimmerClient& GlimmerClient::operator=(GlimmerClient&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_nextID = other.m_nextID;
        m_buffer = std::move(other.m_buffer);
        m_pending = std::move(other.m_pending);
    }
    return *this;
}

GlimmerClient::~GlimmerClient()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
}

std::expected<void, ClientError> GlimmerClient::sendRaw(std::string_view bytes)
{
    while (!bytes.empty()) {
        auto written = send(m_descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return std::unexpected(unreachable(std::strerror(errno)));
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

std::expected<nlohmann::json, ClientError> GlimmerClient::readLine(std::chrono::steady_clock::time_point deadline)
{
    while (true) {
        auto newline = m_buffer.find('\n');
        if (newline != std::string::npos) {
            auto line = m_buffer.substr(0, newline);
            m_buffer.erase(0, newline + 1);
            auto parsed = nlohmann::json::parse(line, nullptr, false);
            if (parsed.is_discarded() || !parsed.is_object())
                return std::unexpected(ClientError { ClientError::Kind::protocol, "Unverständliche Antwort: " + line });
            return parsed;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::unexpected(ClientError { ClientError::Kind::timedOut, "glimmerd antwortet nicht." });
        pollfd descriptor { m_descriptor, POLLIN, 0 };
        auto ready = poll(&descriptor, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 1 << 30)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return std::unexpected(unreachable(std::strerror(errno)));
        if (ready == 0)
            continue;
        char chunk[65536];
        auto count = recv(m_descriptor, chunk, sizeof(chunk), 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return std::unexpected(unreachable("die Verbindung wurde beendet"));
        m_buffer.append(chunk, static_cast<std::size_t>(count));
    }
}

std::expected<nlohmann::json, ClientError> GlimmerClient::request(nlohmann::json request, std::chrono::milliseconds timeout)
{
    auto id = m_nextID++;
    request["id"] = id;
    if (auto sent = sendRaw(request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n'); !sent)
        return std::unexpected(sent.error());
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        auto line = readLine(deadline);
        if (!line)
            return line;
        if (line->contains("event") && !line->contains("id")) {
            m_pending.push_back(std::move(*line));
            continue;
        }
        if (line->value("id", nlohmann::json()) == nlohmann::json(id))
            return line;
        m_pending.push_back(std::move(*line));
    }
}

std::expected<nlohmann::json, ClientError> GlimmerClient::nextLine(std::chrono::milliseconds timeout)
{
    if (!m_pending.empty()) {
        auto line = std::move(m_pending.front());
        m_pending.pop_front();
        return line;
    }
    return readLine(std::chrono::steady_clock::now() + timeout);
}

} // namespace Control
