#include "Platform/Network/NetlinkReachabilityMonitor.hpp"

#include "Platform/Foundation/PollLoop.hpp"
#include "Platform/Network/NetworkLog.hpp"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <mutex>
#include <netdb.h>
#include <optional>
#include <span>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace Platform {

namespace {

int openRouteSocket()
{
    int descriptor = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (descriptor < 0)
        return -1;
    sockaddr_nl address {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

void drain(int descriptor)
{
    char buffer[8192];
    while (::recv(descriptor, buffer, sizeof(buffer), MSG_DONTWAIT) > 0) { }
}

// Connects to one address; true when the host accepted. A refused connection
// is no service: a host whose service is down cannot be synced with.
bool hostAnswers(const addrinfo& address, std::chrono::milliseconds timeout, int cancelDescriptor)
{
    int descriptor = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (descriptor < 0)
        return false;
    bool answered = false;
    if (::connect(descriptor, address.ai_addr, address.ai_addrlen) == 0) {
        answered = true;
    } else if (errno == EINPROGRESS) {
        pollfd descriptors[2] = { { descriptor, POLLOUT, 0 }, { cancelDescriptor, POLLIN, 0 } };
        int ready = ::poll(descriptors, cancelDescriptor >= 0 ? 2 : 1, static_cast<int>(timeout.count()));
        if (ready > 0 && (descriptors[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            int error = 0;
            socklen_t length = sizeof(error);
            ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length);
            answered = error == 0;
        }
    }
    ::close(descriptor);
    return answered;
}

} // namespace

struct NetlinkReachabilityMonitor::State {
    Options options;
    std::atomic<HostReachability> status { HostReachability::notReachable };
    int routeDescriptor = -1;
    // Wakes the thread for a recheck.
    int wakeDescriptor = -1;
    // Ends the thread's wait, and cuts a running probe short, for a stop.
    std::optional<PollLoop> loop;
    std::atomic<bool> stopping { false };
    std::atomic<bool> running { false };
    std::mutex handlerMutex;
    std::shared_ptr<Handler> handler;
    std::thread thread;

    ~State()
    {
        if (routeDescriptor >= 0)
            ::close(routeDescriptor);
        if (wakeDescriptor >= 0)
            ::close(wakeDescriptor);
    }

    void assess(bool reportRepeats)
    {
        auto assessed = probe(options.host, options.port, options.probeTimeout, loop->stopDescriptor());
        auto previous = status.exchange(assessed);
        if (stopping.load() || (!reportRepeats && previous == assessed))
            return;
        std::shared_ptr<Handler> current;
        {
            std::lock_guard lock(handlerMutex);
            current = handler;
        }
        if (current)
            (*current)(assessed);
    }

    void run()
    {
        const int descriptors[] = { wakeDescriptor, routeDescriptor };
        std::span<const int> waited(descriptors, routeDescriptor >= 0 ? 2 : 1);
        auto timeout = [this]() -> std::optional<std::chrono::milliseconds> {
            if (status.load() == HostReachability::reachable)
                return std::nullopt;
            return options.recheckInterval;
        };
        (void)loop->run(waited, timeout, [&](const PollLoop::Wake& wake) {
            if (stopping.load())
                return;
            bool event = false;
            if (wake.readable(0)) {
                eventfd_t ignored = 0;
                ::eventfd_read(wakeDescriptor, &ignored);
                event = true;
            }
            if (waited.size() == 2 && wake.readable(1)) {
                drain(routeDescriptor);
                event = true;
            }
            assess(event);
        });
    }
};

std::expected<std::unique_ptr<NetlinkReachabilityMonitor>, NetlinkReachabilityMonitor::Error>
NetlinkReachabilityMonitor::create(Options options)
{
    if (options.host.empty())
        return std::unexpected(Error::missingHost);
    auto state = std::make_shared<State>();
    state->options = std::move(options);
    state->wakeDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    auto loop = PollLoop::create();
    if (state->wakeDescriptor < 0 || !loop)
        return std::unexpected(Error::cannotStartThread);
    state->loop = std::move(*loop);
    state->status.store(probe(state->options.host, state->options.port, state->options.probeTimeout));
    return std::unique_ptr<NetlinkReachabilityMonitor>(new NetlinkReachabilityMonitor(std::move(state)));
}

NetlinkReachabilityMonitor::NetlinkReachabilityMonitor(std::shared_ptr<State> state)
    : m_state(std::move(state))
{
}

NetlinkReachabilityMonitor::~NetlinkReachabilityMonitor()
{
    stop();
}

HostReachability NetlinkReachabilityMonitor::status() const
{
    return m_state->status.load();
}

bool NetlinkReachabilityMonitor::isRunning() const
{
    return m_state->running.load();
}

void NetlinkReachabilityMonitor::start(Handler handler)
{
    if (m_state->running.load())
        return;
    {
        std::lock_guard lock(m_state->handlerMutex);
        m_state->handler = std::make_shared<Handler>(std::move(handler));
    }
    if (m_state->routeDescriptor < 0) {
        m_state->routeDescriptor = openRouteSocket();
        // Without routing events the periodic probe still notices changes, only later.
        if (m_state->routeDescriptor < 0)
            logNetwork("❗️ Reachability: no routing events, probing periodically only");
    }
    m_state->stopping.store(false);
    m_state->loop->rearm();
    m_state->running.store(true);
    m_state->thread = std::thread([state = m_state] { state->run(); });
}

void NetlinkReachabilityMonitor::stop()
{
    if (!m_state->running.exchange(false))
        return;
    m_state->stopping.store(true);
    m_state->loop->stop();
    if (m_state->thread.get_id() == std::this_thread::get_id())
        m_state->thread.detach();
    else if (m_state->thread.joinable())
        m_state->thread.join();
    std::lock_guard lock(m_state->handlerMutex);
    m_state->handler.reset();
}

void NetlinkReachabilityMonitor::recheck()
{
    ::eventfd_write(m_state->wakeDescriptor, 1);
}

HostReachability NetlinkReachabilityMonitor::probe(const std::string& host, std::uint16_t port,
    std::chrono::milliseconds timeout, int cancelDescriptor)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses) != 0)
        return HostReachability::notReachable;
    bool answered = false;
    for (addrinfo* address = addresses; address && !answered; address = address->ai_next)
        answered = hostAnswers(*address, timeout, cancelDescriptor);
    ::freeaddrinfo(addresses);
    return answered ? HostReachability::reachable : HostReachability::notReachable;
}

} // namespace Platform
