#include "Platform/Network/NetlinkReachabilityMonitor.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Platform;
using namespace std::chrono_literals;

namespace {

// A loopback listener; closing it leaves a port that refuses connections.
struct LoopbackListener {
    int descriptor = -1;
    std::uint16_t port = 0;

    LoopbackListener()
    {
        descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(descriptor, 4);
        socklen_t length = sizeof(address);
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~LoopbackListener() { close(); }
    void close()
    {
        if (descriptor >= 0)
            ::close(descriptor);
        descriptor = -1;
    }
};

struct StatusRecorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<HostReachability> values;

    void operator()(HostReachability value)
    {
        std::lock_guard lock(mutex);
        values.push_back(value);
        changed.notify_all();
    }
    bool waitForCount(std::size_t count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return values.size() >= count; });
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return values.size();
    }
};

} // namespace

TEST(NetlinkReachabilityMonitorTests, OnlyAListeningServiceIsReachable)
{
    // Proves the probe counts an accepted loopback connection as reachable and a refused one (the service down) as not.
    LoopbackListener listener;
    EXPECT_EQ(NetlinkReachabilityMonitor::probe("127.0.0.1", listener.port, 1s), HostReachability::reachable);
    listener.close();
    EXPECT_EQ(NetlinkReachabilityMonitor::probe("127.0.0.1", listener.port, 1s), HostReachability::notReachable);
}

TEST(NetlinkReachabilityMonitorTests, MissingHostCannotBeObserved)
{
    // Proves a monitor without a host is refused at creation.
    auto monitor = NetlinkReachabilityMonitor::create({ .host = "" });
    ASSERT_FALSE(monitor.has_value());
    EXPECT_EQ(monitor.error(), NetlinkReachabilityMonitor::Error::missingHost);
}

TEST(NetlinkReachabilityMonitorTests, ReportsEveryAssessmentUntilStopped)
{
    // Proves the status is known at creation, every recheck reports (repeats included), and nothing arrives after stop.
    LoopbackListener listener;
    auto created = NetlinkReachabilityMonitor::create({ .host = "127.0.0.1", .port = listener.port });
    ASSERT_TRUE(created.has_value());
    auto& monitor = **created;
    EXPECT_EQ(monitor.status(), HostReachability::reachable);

    auto recorder = std::make_shared<StatusRecorder>();
    monitor.start([recorder](HostReachability value) { (*recorder)(value); });
    monitor.start([](HostReachability) { ADD_FAILURE() << "a second start must not replace the first"; });
    EXPECT_TRUE(monitor.isRunning());
    monitor.recheck();
    ASSERT_TRUE(recorder->waitForCount(1));
    monitor.recheck();
    ASSERT_TRUE(recorder->waitForCount(2));
    EXPECT_EQ(recorder->values[0], HostReachability::reachable);
    EXPECT_EQ(recorder->values[1], HostReachability::reachable);

    monitor.stop();
    EXPECT_FALSE(monitor.isRunning());
    auto countAtStop = recorder->count();
    monitor.recheck();
    monitor.stop();
    EXPECT_EQ(recorder->count(), countAtStop);
}
