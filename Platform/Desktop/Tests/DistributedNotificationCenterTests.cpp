#include "Platform/Desktop/DistributedNotificationCenter.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Platform;
using Platform::Testing::TemporaryDirectory;
using Platform::Testing::waitUntil;

namespace {

struct Recorder {
    std::mutex mutex;
    std::vector<DistributedNotification> seen;

    DistributedNotificationCenter::Observer observer()
    {
        return [this](const DistributedNotification& notification) {
            std::lock_guard lock(mutex);
            seen.push_back(notification);
        };
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return seen.size();
    }
};

} // namespace

TEST(DistributedNotificationCenterTests, APostReachesEveryLiveCentreByName)
{
    // Two centres on one folder both see a post (the poster's own included), with its user info; other names are not delivered.
    TemporaryDirectory group;
    auto first = DistributedNotificationCenter::open(group / "notifications").value();
    auto second = DistributedNotificationCenter::open(group / "notifications").value();
    Recorder onFirst;
    Recorder onSecond;
    auto a = first->addObserver("Hello", onFirst.observer());
    auto b = second->addObserver("Hello", onSecond.observer());
    EXPECT_EQ(first->post("Other"), 2u);
    EXPECT_EQ(first->post("Hello", { { "value", 42 } }), 2u);
    ASSERT_TRUE(waitUntil([&] { return onFirst.count() == 1 && onSecond.count() == 1; }));
    EXPECT_EQ(onSecond.seen[0].name, "Hello");
    EXPECT_EQ(onSecond.seen[0].userInfo["value"], 42);
    EXPECT_EQ(std::filesystem::status(group / "notifications").permissions() & std::filesystem::perms::all, std::filesystem::perms::owner_all);
}

TEST(DistributedNotificationCenterTests, TheSocketOfACentreThatWentIsRemovedByTheNextPost)
{
    // A socket file nobody listens on any more is unlinked when a post finds it unanswered; live centres keep theirs.
    TemporaryDirectory group;
    auto folder = std::filesystem::path(group / "notifications");
    auto live = DistributedNotificationCenter::open(folder).value();
    {
        int stale = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        auto path = (folder / "1-dead.sock").string();
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(stale);
    }
    EXPECT_EQ(live->post("Anything"), 1u);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(folder / "1-dead.sock")));
    std::size_t sockets = 0;
    for (auto& entry : std::filesystem::directory_iterator(folder))
        sockets += entry.path().extension() == ".sock";
    EXPECT_EQ(sockets, 1u);
}

TEST(DistributedNotificationCenterTests, AFolderPathTooLongForAUnixAddressGoesThroughTheFoldersDescriptor)
{
    // Below a path of 150 characters the centres still bind real files in that folder and exchange posts; nothing in the abstract namespace.
    TemporaryDirectory group;
    auto folder = std::filesystem::path(group.path()) / std::string(150, 'n') / "notifications";
    auto first = DistributedNotificationCenter::open(folder).value();
    auto second = DistributedNotificationCenter::open(folder).value();
    Recorder recorder;
    auto registration = second->addObserver("Long", recorder.observer());
    EXPECT_EQ(first->post("Long"), 2u);
    ASSERT_TRUE(waitUntil([&] { return recorder.count() == 1; }));
    std::size_t sockets = 0;
    for (auto& entry : std::filesystem::directory_iterator(folder))
        sockets += entry.is_socket();
    EXPECT_EQ(sockets, 2u);
    // The abstract namespace lists its names with a leading "@" in /proc/net/unix.
    auto table = Platform::Testing::readFile("/proc/net/unix");
    EXPECT_EQ(table.find("@/proc/self/fd"), std::string::npos);
    EXPECT_EQ(table.find("@" + folder.string().substr(0, 50)), std::string::npos);
}

TEST(DistributedNotificationCenterTests, ARemovedObserverIsNotCalledAgainAndTheSocketGoesWithTheCentre)
{
    // After removal nothing more reaches the observer; a closed centre leaves no socket file behind.
    TemporaryDirectory group;
    auto folder = std::filesystem::path(group / "notifications");
    Recorder recorder;
    {
        auto center = DistributedNotificationCenter::open(folder).value();
        auto registration = center->addObserver("Once", recorder.observer());
        center->post("Once");
        ASSERT_TRUE(waitUntil([&] { return recorder.count() == 1; }));
        registration.remove();
        Recorder sync;
        auto syncRegistration = center->addObserver("Sync", sync.observer());
        center->post("Once");
        center->post("Sync");
        ASSERT_TRUE(waitUntil([&] { return sync.count() == 1; }));
    }
    EXPECT_EQ(recorder.count(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(DistributedNotificationCenterTests, AMessageOfTheLargestSizeArrivesWholeAndOneByteMoreIsRefused)
{
    // The JSON text of a post may take exactly the largest size and is delivered intact; a byte more reaches nobody.
    TemporaryDirectory group;
    auto center = DistributedNotificationCenter::open(group / "notifications").value();
    Recorder recorder;
    auto registration = center->addObserver("Big", recorder.observer());
    const auto frame = nlohmann::json { { "name", "Big" }, { "userInfo", "" } }.dump().size();
    const std::string largest(DistributedNotificationCenter::maximumMessageSize - frame, 'x');

    EXPECT_EQ(center->post("Big", largest + "y"), 0u);
    EXPECT_EQ(center->post("Big", largest), 1u);

    ASSERT_TRUE(waitUntil([&] { return recorder.count() == 1; }));
    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(recorder.seen[0].userInfo, largest);
}
