#include "Shared/WormholeNavigator.hpp"

#include "Shared/CloudUserDefaultsKey.hpp"
#include "Shared/SharedConstants.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace Orvella;
using Platform::Testing::TemporaryDirectory;
using Platform::Testing::waitUntil;

namespace {

// One group directory for the whole test process: the shared constants keep
// their centre for the process's lifetime.
TemporaryDirectory* sharedGroup = nullptr;

const TemporaryDirectory& groupDirectory()
{
    if (!sharedGroup)
        sharedGroup = new TemporaryDirectory();
    // Other tests of this process change the variable; the peer inherits it.
    ::setenv("ORVELLA_GROUP_CONTAINER", sharedGroup->path().c_str(), 1);
    return *sharedGroup;
}

// Removes the group directory when the test program ends.
struct RemoveGroupDirectory : ::testing::Environment {
    void TearDown() override
    {
        delete sharedGroup;
        sharedGroup = nullptr;
    }
};
[[maybe_unused]] auto* const removeGroupDirectory = ::testing::AddGlobalTestEnvironment(new RemoveGroupDirectory);

// A navigator of the application's side with its own wormhole (so its ping
// replies end with the test).
WormholeNavigator applicationNavigator()
{
    groupDirectory();
    return WormholeNavigator(Platform::Wormhole::create({
                                                            .applicationGroupDirectory = SharedConstants::groupContainerPath(),
                                                            .directoryName = "wormhole",
                                                            .notificationCenter = SharedConstants::distributedNotificationCenter(),
                                                            .timeoutScheduler = nullptr,
                                                        })
                                 .value());
}

template<class T>
struct Inbox {
    std::mutex mutex;
    std::vector<T> items;
    void add(T item)
    {
        std::lock_guard lock(mutex);
        items.push_back(std::move(item));
    }
    std::size_t size()
    {
        std::lock_guard lock(mutex);
        return items.size();
    }
};

class Peer {
public:
    Peer()
    {
        char* argv[] = { const_cast<char*>(ORVELLA_SHARED_TEST_PEER), nullptr };
        EXPECT_EQ(::posix_spawn(&m_pid, ORVELLA_SHARED_TEST_PEER, nullptr, nullptr, argv, environ), 0);
    }
    ~Peer()
    {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }

private:
    pid_t m_pid = 0;
};

} // namespace

TEST(WormholeNavigatorTests, TheExtensionsShareRequestsAndPingsReachTheApplication)
{
    // A second process asks for shares and pings: remote identifiers arrive in order (a burst of 100 included), a local one and payloads of the wrong type are dropped, and the ping is answered.
    auto navigator = applicationNavigator();
    auto wormhole = navigator.wormhole();
    navigator.replyToPings();
    Inbox<std::int64_t> publicShares;
    Inbox<std::int64_t> privateShares;
    Inbox<nlohmann::json> pongs;
    Inbox<int> ready;
    Inbox<int> sent;
    auto a = navigator.onCreatePublicShare([&](const Sync::SyncFileID& id) { publicShares.add(*id.remoteID()); });
    auto b = navigator.onCreatePrivateShare([&](const Sync::SyncFileID& id) { privateShares.add(*id.remoteID()); });
    auto c = wormhole->listenForMessages("PeerPong", [&](const nlohmann::json& payload) { pongs.add(payload); });
    auto d = wormhole->listenForMessages("PeerReady", [&](const nlohmann::json&) { ready.add(1); });
    auto e = wormhole->listenForMessages("PeerSharesSent", [&](const nlohmann::json&) { sent.add(1); });
    Peer peer;
    ASSERT_TRUE(waitUntil([&] { return ready.size() == 1; }, std::chrono::seconds(20)));

    wormhole->sendMessage("PeerCommand", "ping");
    ASSERT_TRUE(waitUntil([&] { return pongs.size() == 1; }, std::chrono::seconds(20)));
    EXPECT_EQ(pongs.items[0], true);

    wormhole->sendMessage("PeerCommand", "shares");
    ASSERT_TRUE(waitUntil([&] { return sent.size() == 1; }, std::chrono::seconds(20)));
    EXPECT_EQ(publicShares.items, std::vector<std::int64_t> { 42 });
    std::vector<std::int64_t> expected;
    for (int index = 0; index < 100; ++index)
        expected.push_back(1000 + index);
    EXPECT_EQ(privateShares.items, expected);
    wormhole->sendMessage("PeerCommand", "quit");
}

TEST(WormholeNavigatorTests, APingWithoutAReplierIsAnsweredFalseAfterTheTimeout)
{
    // No replier runs in the application: the extension's pong is false, once.
    auto navigator = applicationNavigator();
    auto wormhole = navigator.wormhole();
    Inbox<nlohmann::json> pongs;
    Inbox<int> ready;
    auto c = wormhole->listenForMessages("PeerPong", [&](const nlohmann::json& payload) { pongs.add(payload); });
    auto d = wormhole->listenForMessages("PeerReady", [&](const nlohmann::json&) { ready.add(1); });
    Peer peer;
    ASSERT_TRUE(waitUntil([&] { return ready.size() == 1; }, std::chrono::seconds(20)));
    wormhole->sendMessage("PeerCommand", "ping");
    ASSERT_TRUE(waitUntil([&] { return pongs.size() == 1; }, std::chrono::seconds(20)));
    EXPECT_EQ(pongs.items[0], false);
    wormhole->sendMessage("PeerCommand", "quit");
}

TEST(WormholeNavigatorTests, ASettingsBroadcastCarriesTheWholeDictionary)
{
    // "CloudUserDefaultsDidChange" reaches the other process with every key of the suite, registered defaults and "CloudFolderURL" included.
    auto navigator = applicationNavigator();
    auto wormhole = navigator.wormhole();
    ASSERT_EQ(SharedConstants::distributedNotificationCenter()->folder(), std::filesystem::path(groupDirectory().path()) / "notifications");
    Inbox<nlohmann::json> seen;
    Inbox<int> ready;
    Inbox<std::string> notified;
    auto c = wormhole->listenForMessages("PeerSawDefaults", [&](const nlohmann::json& payload) { seen.add(payload); });
    auto d = wormhole->listenForMessages("PeerReady", [&](const nlohmann::json&) { ready.add(1); });
    // The extension also watches the plain notification of that name.
    auto f = SharedConstants::distributedNotificationCenter()->addObserver(std::string(WormholeNavigator::userDefaultsDidChangeIdentifier),
        [&](const Platform::DistributedNotification& notification) { notified.add(notification.name); });
    Peer peer;
    ASSERT_TRUE(waitUntil([&] { return ready.size() == 1; }, std::chrono::seconds(20)));
    auto defaults = SharedConstants::sharedUserDefaults();
    ASSERT_TRUE(defaults->set(rawValue(CloudUserDefaultsKey::cloudFolderURL), "/home/a/brisanto cloud"));
    navigator.reloadUserDefaults(*defaults);
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 1 && notified.size() == 1; }, std::chrono::seconds(20)));
    nlohmann::json expected = nlohmann::json::object();
    for (auto& [key, value] : defaults->dictionaryRepresentation())
        expected[key] = value;
    EXPECT_EQ(seen.items[0], expected);
    EXPECT_EQ(seen.items[0]["CloudFolderURL"], "/home/a/brisanto cloud");
    EXPECT_EQ(seen.items[0]["EnableSync"], true);
    wormhole->sendMessage("PeerCommand", "quit");
}

TEST(WormholeNavigatorTests, AListenerDropsPayloadsOfTheWrongType)
{
    // In one process: 42 arrives as remote 42; a text, a fraction and an array do not reach the handler; a non-object settings payload is dropped.
    auto application = applicationNavigator();
    auto extension = applicationNavigator();
    Inbox<std::int64_t> shares;
    Inbox<int> dictionaries;
    Inbox<int> done;
    auto a = application.onCreatePrivateShare([&](const Sync::SyncFileID& id) { shares.add(*id.remoteID()); });
    auto b = application.onReloadUserDefaults([&](const Platform::UserDefaults::Dictionary&) { dictionaries.add(1); });
    auto c = application.wormhole()->listenForMessages("Done", [&](const nlohmann::json&) { done.add(1); });
    auto wormhole = extension.wormhole();
    wormhole->sendMessage("CloudCreatePrivateShare", "7");
    wormhole->sendMessage("CloudCreatePrivateShare", 7.5);
    wormhole->sendMessage("CloudCreatePrivateShare", nlohmann::json::array({ 7 }));
    wormhole->sendMessage("CloudUserDefaultsDidChange", "not a dictionary");
    extension.createPrivateShareForFile(Sync::SyncFileID::remote(42));
    wormhole->sendMessage("Done");
    ASSERT_TRUE(waitUntil([&] { return done.size() == 1; }));
    EXPECT_EQ(shares.items, std::vector<std::int64_t> { 42 });
    EXPECT_EQ(dictionaries.size(), 0u);
}
