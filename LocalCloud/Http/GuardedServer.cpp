#include "LocalCloud/Http/GuardedServer.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace LocalCloud {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Threads beyond the connection cap, so that refusing a connection never waits
// for a served one to end.
constexpr std::size_t refusalThreads = 4;
// How often a wait between requests looks whether the server is stopping.
constexpr milliseconds stopCheckInterval { 50 };

// Starts a thread whenever a job finds none idle, up to a cap; the threads stay
// until shutdown. A fixed pool would let as many slow clients as it has
// threads keep every other client waiting in its queue.
class GrowingPool : public httplib::TaskQueue {
public:
    explicit GrowingPool(std::size_t maximumThreads)
        : m_maximumThreads(maximumThreads)
    {
    }

    ~GrowingPool() override = default;

    void enqueue(std::function<void()> job) override
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (m_idle < m_jobs.size() && m_threads.size() < m_maximumThreads)
            m_threads.emplace_back([this] { work(); });
        else
            m_condition.notify_one();
    }

    void shutdown() override
    {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(m_mutex);
            m_shutdown = true;
            threads.swap(m_threads);
        }
        m_condition.notify_all();
        for (auto& thread : threads)
            thread.join();
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                ++m_idle;
                m_condition.wait(lock, [&] { return !m_jobs.empty() || m_shutdown; });
                --m_idle;
                // Jobs that came before the shutdown still run: each closes its socket.
                if (m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

    const std::size_t m_maximumThreads;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    std::size_t m_idle = 0;
    bool m_shutdown = false;
};

// One client connection, read through a buffer, with the deadlines of the
// request it carries.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(int socket, const GuardedServer::Limits& limits, time_t readSeconds, time_t readMicroseconds,
        time_t writeSeconds, time_t writeMicroseconds)
        : m_socket(socket)
        , m_limits(limits)
        , m_readTimeout(std::chrono::duration_cast<milliseconds>(
              std::chrono::seconds(readSeconds) + std::chrono::microseconds(readMicroseconds)))
        , m_writeTimeout(std::chrono::duration_cast<milliseconds>(
              std::chrono::seconds(writeSeconds) + std::chrono::microseconds(writeMicroseconds)))
    {
    }

    // Waits up to `idle` for the next request; false when none comes or `stopping` says so.
    template<typename Stopping>
    bool awaitRequest(milliseconds idle, Stopping stopping)
    {
        if (m_cutOff)
            return false;
        if (m_offset < m_filled)
            return true;
        auto end = Clock::now() + idle;
        while (!stopping()) {
            auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
            if (left <= milliseconds::zero())
                return false;
            int ready = pollFor(POLLIN, std::min(left, stopCheckInterval));
            if (ready != 0)
                return ready > 0;
        }
        return false;
    }

    // A new request starts: its head must be complete by the deadline.
    void beginRequest()
    {
        m_inHead = true;
        m_headDeadline = Clock::now() + m_limits.headDeadline;
        m_bodyWaited = milliseconds::zero();
        m_bodyBytes = 0;
        m_headBytes = 0;
        m_headLines = 0;
    }

    void endHead() { m_inHead = false; }
    [[nodiscard]] bool cutOff() const { return m_cutOff; }
    void closeAfterAnswer() { m_closeAfterAnswer = true; }
    [[nodiscard]] bool closesAfterAnswer() const { return m_closeAfterAnswer; }

    bool is_readable() const override { return m_offset < m_filled || waitReadable(); }

    bool is_writable() const override { return pollFor(POLLOUT, m_writeTimeout) > 0 && peerStillThere(); }

    ssize_t read(char* destination, size_t size) override
    {
        if (m_offset == m_filled) {
            if (!waitReadable())
                return -1;
            ssize_t count = receive(m_buffer.data(), m_buffer.size());
            if (count <= 0)
                return count;
            if (!m_inHead)
                m_bodyBytes += static_cast<std::size_t>(count);
            m_offset = 0;
            m_filled = static_cast<std::size_t>(count);
        }
        auto count = std::min(size, m_filled - m_offset);
        if (m_inHead && !withinHead(std::string_view(m_buffer.data() + m_offset, count)))
            return -1;
        std::memcpy(destination, m_buffer.data() + m_offset, count);
        m_offset += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* source, size_t size) override
    {
        if (!is_writable())
            return -1;
        for (;;) {
            ssize_t count = ::send(m_socket, source, size, MSG_NOSIGNAL);
            if (count < 0 && errno == EINTR)
                continue;
            return count;
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(::getpeername, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(::getsockname, ip, port); }
    socket_t socket() const override { return m_socket; }

private:
    // 1 when ready, 0 when the time ran out, -1 on failure.
    int pollFor(short events, milliseconds timeout) const
    {
        pollfd entry { m_socket, events, 0 };
        auto end = Clock::now() + timeout;
        for (;;) {
            auto left = std::max(milliseconds::zero(), std::chrono::duration_cast<milliseconds>(end - Clock::now()));
            int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            return ready > 0 ? 1 : ready;
        }
    }

    // Counts what the library takes of a request's head (it reads the head a
    // byte at a time): every field it reads is kept until the request ends,
    // so their number and size are bounded before they are kept.
    bool withinHead(std::string_view bytes)
    {
        m_headBytes += bytes.size();
        m_headLines += static_cast<std::size_t>(std::ranges::count(bytes, '\n'));
        // The request line and the empty line that ends the head are no fields.
        if (m_headBytes <= m_limits.maximumHeadBytes && m_headLines <= m_limits.maximumHeaderFields + 2)
            return true;
        m_cutOff = true;
        return false;
    }

    // Waits for bytes as long as the read time-out, the head's deadline and
    // the body's allowance all let it.
    bool waitReadable() const
    {
        auto now = Clock::now();
        auto limit = m_readTimeout;
        if (m_inHead) {
            limit = std::min(limit, std::chrono::duration_cast<milliseconds>(m_headDeadline - now));
        } else {
            auto perSecond = std::max<std::size_t>(1, m_limits.bodyBytesPerSecondOfWait);
            auto earned = milliseconds(1000 * m_bodyBytes / perSecond);
            limit = std::min(limit, m_limits.bodyWaitAllowance + earned - m_bodyWaited);
        }
        int ready = limit > milliseconds::zero() ? pollFor(POLLIN, limit) : 0;
        if (!m_inHead)
            m_bodyWaited += std::chrono::duration_cast<milliseconds>(Clock::now() - now);
        // Whatever is left of a request that ran out of time is no request of its own.
        if (ready <= 0)
            m_cutOff = true;
        return ready > 0;
    }

    ssize_t receive(char* destination, size_t size) const
    {
        for (;;) {
            ssize_t count = ::recv(m_socket, destination, size, 0);
            if (count < 0 && errno == EINTR)
                continue;
            return count;
        }
    }

    // Whether the client is still connected: a closed connection reads as
    // ready with nothing to read.
    bool peerStillThere() const
    {
        if (pollFor(POLLIN, milliseconds::zero()) <= 0)
            return true;
        char byte;
        return ::recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
    }

    void address(int (*query)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const
    {
        sockaddr_storage storage {};
        socklen_t length = sizeof storage;
        if (query(m_socket, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
            return;
        std::array<char, INET6_ADDRSTRLEN> text {};
        if (storage.ss_family == AF_INET) {
            const auto* inet = reinterpret_cast<const sockaddr_in*>(&storage);
            ::inet_ntop(AF_INET, &inet->sin_addr, text.data(), text.size());
            port = ntohs(inet->sin_port);
        } else if (storage.ss_family == AF_INET6) {
            const auto* inet6 = reinterpret_cast<const sockaddr_in6*>(&storage);
            ::inet_ntop(AF_INET6, &inet6->sin6_addr, text.data(), text.size());
            port = ntohs(inet6->sin6_port);
        }
        ip = text.data();
    }

    const int m_socket;
    const GuardedServer::Limits& m_limits;
    const milliseconds m_readTimeout;
    const milliseconds m_writeTimeout;
    std::array<char, 4096> m_buffer {};
    std::size_t m_offset = 0;
    std::size_t m_filled = 0;
    bool m_inHead = true;
    Clock::time_point m_headDeadline {};
    mutable milliseconds m_bodyWaited { 0 };
    mutable bool m_cutOff = false;
    std::size_t m_bodyBytes = 0;
    std::size_t m_headBytes = 0;
    std::size_t m_headLines = 0;
    bool m_closeAfterAnswer = false;
};

// The connection the calling thread serves, for the pre-routing handler.
thread_local ConnectionStream* currentConnection = nullptr;

// A short answer to a connection beyond the cap, sent without waiting: a
// client that does not take it at once loses nothing it could have had.
void refuse(int socket)
{
    static constexpr std::string_view answer = "HTTP/1.1 503 Service Unavailable\r\n"
                                               "Connection: close\r\n"
                                               "Retry-After: 1\r\n"
                                               "Content-Length: 0\r\n\r\n";
    (void)::send(socket, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(socket, SHUT_WR);
}

// Ends a connection whose client may still be sending: closing it with bytes
// unread would reset it, and the client could lose the answer it was sent.
// So the service stops writing, then reads and drops what still comes, for a
// bounded time and amount.
void closeAfterUnreadInput(int socket)
{
    constexpr std::size_t most = 1 << 20;
    constexpr milliseconds longest { 1000 };
    ::shutdown(socket, SHUT_WR);
    std::array<char, 16 * 1024> buffer {};
    std::size_t dropped = 0;
    auto end = Clock::now() + longest;
    while (dropped < most) {
        auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
        if (left <= milliseconds::zero())
            break;
        pollfd entry { socket, POLLIN, 0 };
        int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        ssize_t count = ::recv(socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        dropped += static_cast<std::size_t>(count);
    }
}

// Whether a request's whole head (up to its empty line) is in the socket's
// buffer within `wait`, without taking any of it.
bool wholeHeadArrives(int socket, milliseconds wait, std::size_t maximumHeadBytes)
{
    std::string peeked(std::min<std::size_t>(maximumHeadBytes, 64 * 1024), '\0');
    auto end = Clock::now() + wait;
    for (;;) {
        auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
        pollfd entry { socket, POLLIN, 0 };
        int ready = ::poll(&entry, 1, static_cast<int>(std::max(left, milliseconds::zero()).count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        ssize_t count = ::recv(socket, peeked.data(), peeked.size(), MSG_PEEK | MSG_DONTWAIT);
        if (count <= 0)
            return false;
        std::string_view head(peeked.data(), static_cast<std::size_t>(count));
        if (head.find("\r\n\r\n") != std::string_view::npos || head.find("\n\n") != std::string_view::npos)
            return true;
        if (static_cast<std::size_t>(count) == peeked.size() || left <= milliseconds::zero())
            return false;
        // The rest may follow in the next packets; the socket reads as ready
        // all along, so the next look waits a little first.
        std::this_thread::sleep_for(std::min(left, milliseconds(5)));
    }
}

} // namespace

GuardedServer::GuardedServer()
{
    new_task_queue = [this] {
        return new GrowingPool(m_limits.maximumConnections + m_limits.quickConnections + refusalThreads);
    };
}

void GuardedServer::setLimits(const Limits& limits)
{
    m_limits = limits;
}

std::size_t GuardedServer::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return m_connections;
}

bool GuardedServer::waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_connections == count; });
}

void GuardedServer::widenBacklog()
{
    // The library listens with a backlog of five: a burst of clients beyond
    // that is held back by the kernel for a second or more each, however idle
    // the threads are.
    if (socket_t listening = svr_sock_; listening != INVALID_SOCKET)
        ::listen(listening, SOMAXCONN);
}

void GuardedServer::headReceived()
{
    if (currentConnection)
        currentConnection->endHead();
}

void GuardedServer::closeAfterAnswer()
{
    if (currentConnection)
        currentConnection->closeAfterAnswer();
}

bool GuardedServer::admit()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_connections >= m_limits.maximumConnections)
            return false;
        ++m_connections;
    }
    m_changed.notify_all();
    return true;
}

void GuardedServer::release()
{
    {
        std::lock_guard lock(m_mutex);
        --m_connections;
    }
    m_changed.notify_all();
}

bool GuardedServer::serveQuickly(socket_t socket)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_quickConnections >= m_limits.quickConnections)
            return false;
        ++m_quickConnections;
    }
    bool served = false;
    if (wholeHeadArrives(socket, m_limits.quickHeadWait, m_limits.maximumHeadBytes)) {
        Limits quick = m_limits;
        quick.headDeadline = m_limits.quickHeadWait;
        quick.bodyWaitAllowance = m_limits.quickBodyWaitAllowance;
        ConnectionStream connection(socket, quick, read_timeout_sec_, read_timeout_usec_, write_timeout_sec_,
            write_timeout_usec_);
        connection.beginRequest();
        bool closed = false;
        currentConnection = &connection;
        // One request only, so that the slot soon serves the next one.
        served = process_request(connection, true, closed, nullptr);
        currentConnection = nullptr;
        if (connection.cutOff() || connection.closesAfterAnswer())
            closeAfterUnreadInput(socket);
    }
    {
        std::lock_guard lock(m_mutex);
        --m_quickConnections;
    }
    return served;
}

bool GuardedServer::process_and_close_socket(socket_t socket)
{
    bool served = false;
    if (!admit()) {
        served = serveQuickly(socket);
        if (!served)
            refuse(socket);
    } else {
        ConnectionStream connection(socket, m_limits, read_timeout_sec_, read_timeout_usec_, write_timeout_sec_,
            write_timeout_usec_);
        auto stopping = [this] { return svr_sock_ == INVALID_SOCKET; };
        for (auto left = keep_alive_max_count_; left > 0; --left) {
            if (!connection.awaitRequest(std::chrono::seconds(keep_alive_timeout_sec_), stopping))
                break;
            connection.beginRequest();
            bool closed = false;
            currentConnection = &connection;
            served = process_request(connection, left == 1, closed, nullptr);
            currentConnection = nullptr;
            if (!served || closed || connection.closesAfterAnswer())
                break;
        }
        if (connection.cutOff() || connection.closesAfterAnswer())
            closeAfterUnreadInput(socket);
        release();
    }
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
    return served;
}

} // namespace LocalCloud
