#pragma once

// A loopback HTTP service that answers with whatever bytes a test scripts,
// as a hostile or broken server would, and keeps every request it received
// (head and body) so a test can say what reached it. One connection at a
// time, closed after each answer. It also tells whether anything connected at
// all, a connection closed before its first byte included.

#include <gtest/gtest.h>

#include <zlib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Platform::Testing {

class HostileService {
public:
    struct Request {
        std::string head;
        std::string body;

        [[nodiscard]] bool contains(const std::string& text) const
        {
            return head.find(text) != std::string::npos || body.find(text) != std::string::npos;
        }
    };
    // The raw bytes answered to a request (status line, fields, body).
    using Script = std::function<std::string(const Request&)>;

    explicit HostileService(Script script)
        : m_script(std::move(script))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(m_listener, 16) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "hostile service cannot listen";
            return;
        }
        m_port = ntohs(address.sin_port);
        // Accepting never blocks, so `wasConnectedTo` never waits on it.
        ::fcntl(m_listener, F_SETFL, ::fcntl(m_listener, F_GETFL) | O_NONBLOCK);
        m_thread = std::thread([this] { serve(); });
    }

    ~HostileService()
    {
        m_stopping = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }

    HostileService(const HostileService&) = delete;
    HostileService& operator=(const HostileService&) = delete;

    [[nodiscard]] std::string origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    [[nodiscard]] std::vector<Request> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    // Whether a client connected, whether or not it sent anything. A
    // connection is counted once accepted or while it waits to be: the kernel
    // queues it as its handshake completes, before the client's connect returns.
    [[nodiscard]] bool wasConnectedTo() const
    {
        std::lock_guard lock(m_acceptMutex);
        if (m_connections > 0)
            return true;
        pollfd waiting { .fd = m_listener, .events = POLLIN, .revents = 0 };
        return ::poll(&waiting, 1, 0) > 0;
    }

    // A complete answer with a body and the given extra fields.
    [[nodiscard]] static std::string answer(int status, const std::vector<std::string>& fields, const std::string& body)
    {
        std::string text = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\n";
        for (const auto& field : fields)
            text += field + "\r\n";
        text += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        return text;
    }

    // `size` zero bytes, gzip-compressed: a small answer that decodes to a large one.
    [[nodiscard]] static std::string gzipOfZeros(std::size_t size)
    {
        z_stream stream {};
        if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
            return {};
        std::vector<unsigned char> zeros(1 << 20, 0);
        std::string out;
        std::vector<unsigned char> buffer(1 << 16);
        std::size_t left = size;
        int flush = Z_NO_FLUSH;
        do {
            std::size_t chunk = std::min(left, zeros.size());
            left -= chunk;
            flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
            stream.next_in = zeros.data();
            stream.avail_in = static_cast<uInt>(chunk);
            do {
                stream.next_out = buffer.data();
                stream.avail_out = static_cast<uInt>(buffer.size());
                deflate(&stream, flush);
                out.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - stream.avail_out);
            } while (stream.avail_out == 0);
        } while (flush != Z_FINISH);
        deflateEnd(&stream);
        return out;
    }

private:
    void serve()
    {
        while (!m_stopping) {
            pollfd ready { .fd = m_listener, .events = POLLIN, .revents = 0 };
            if (::poll(&ready, 1, 50) <= 0)
                continue;
            int connection = -1;
            {
                std::lock_guard lock(m_acceptMutex);
                connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection >= 0)
                    ++m_connections;
            }
            if (connection < 0)
                continue;
            Request request;
            if (read(connection, request)) {
                {
                    std::lock_guard lock(m_mutex);
                    m_requests.push_back(request);
                }
                std::string reply = m_script(request);
                for (std::size_t sent = 0; sent < reply.size();) {
                    ssize_t wrote = ::send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                    if (wrote <= 0)
                        break;
                    sent += static_cast<std::size_t>(wrote);
                }
            }
            ::shutdown(connection, SHUT_WR);
            ::close(connection);
        }
    }

    bool read(int connection, Request& request)
    {
        std::string received;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::size_t end = std::string::npos;
        std::size_t wanted = 0;
        for (;;) {
            if (end == std::string::npos && (end = received.find("\r\n\r\n")) != std::string::npos) {
                request.head = received.substr(0, end + 4);
                auto lower = request.head;
                for (auto& c : lower)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (auto at = lower.find("\ncontent-length:"); at != std::string::npos)
                    wanted = std::strtoul(lower.c_str() + at + 16, nullptr, 10);
            }
            if (end != std::string::npos && received.size() >= end + 4 + wanted) {
                request.body = received.substr(end + 4, wanted);
                return true;
            }
            if (m_stopping || std::chrono::steady_clock::now() > deadline)
                return false;
            pollfd ready { .fd = connection, .events = POLLIN, .revents = 0 };
            if (::poll(&ready, 1, 50) <= 0)
                continue;
            char buffer[4096];
            ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                return false;
            received.append(buffer, static_cast<std::size_t>(got));
        }
    }

    Script m_script;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping = false;
    mutable std::mutex m_mutex;
    mutable std::mutex m_acceptMutex;
    std::size_t m_connections = 0;
    std::vector<Request> m_requests;
    std::thread m_thread;
};

} // namespace Platform::Testing
