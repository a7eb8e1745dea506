#include "Platform/Desktop/Wormhole.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <mutex>

using namespace Platform;
using Platform::Testing::TemporaryDirectory;
using Platform::Testing::waitUntil;

namespace {

struct Pair {
    TemporaryDirectory group;
    std::shared_ptr<Reactive::TestScheduler> timeouts = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<Wormhole> application = make();
    std::shared_ptr<Wormhole> extension = make();

    std::shared_ptr<Wormhole> make()
    {
        return Wormhole::create({
                                    .applicationGroupDirectory = group.path(),
                                    .directoryName = "wormhole",
                                    .notificationCenter = DistributedNotificationCenter::open(group / "notifications").value(),
                                    .timeoutScheduler = timeouts,
                                })
            .value();
    }
};

} // namespace

TEST(WormholeTests, BackToBackMessagesAllArriveInOrderAndTheLatestIsStored)
{
    // 100 messages of one identifier sent at once reach the other side each with its own payload, in order; the sender's own listener hears none.
    Pair pair;
    std::mutex mutex;
    std::vector<int> received;
    std::atomic<int> ownHeard = 0;
    auto listening = pair.application->listenForMessages("Burst", [&](const nlohmann::json& payload) {
        std::lock_guard lock(mutex);
        received.push_back(payload.get<int>());
    });
    auto own = pair.extension->listenForMessages("Burst", [&](const nlohmann::json&) { ++ownHeard; });
    for (int index = 0; index < 100; ++index)
        pair.extension->sendMessage("Burst", index);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return received.size() == 100;
    }));
    std::vector<int> expected(100);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(received, expected);
    EXPECT_EQ(ownHeard, 0);
    EXPECT_EQ(pair.application->messageWithIdentifier("Burst"), nlohmann::json(99));
    pair.application->clearMessageContents("Burst");
    EXPECT_FALSE(pair.application->messageWithIdentifier("Burst"));
}

TEST(WormholeTests, AnIdentifierWithASlashStaysInsideTheChannelFolder)
{
    // The message file of "../escape" lies in the wormhole folder, not above it.
    Pair pair;
    pair.extension->sendMessage("../escape", "x");
    auto file = pair.extension->messageFile("../escape");
    EXPECT_EQ(file.parent_path(), std::filesystem::path(pair.group / "wormhole"));
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(pair.group / "escape.json"));
}

TEST(WormholeTests, APingIsAnsweredOnceOrTimesOutOnce)
{
    // With a replier the pong is true and comes exactly once (a later timeout adds nothing); without one it is false when the timeout passes.
    Pair pair;
    pair.application->replyToPings("Orvella");
    std::mutex mutex;
    std::vector<bool> pongs;
    auto record = [&](bool answered) {
        std::lock_guard lock(mutex);
        pongs.push_back(answered);
    };
    pair.extension->sendPing("Orvella", std::chrono::seconds(2), record);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return pongs.size() == 1;
    }));
    pair.timeouts->advance(std::chrono::seconds(3));
    pair.extension->sendPing("Nobody", std::chrono::seconds(2), record);
    pair.timeouts->advance(std::chrono::milliseconds(1999));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(pongs, (std::vector<bool> { true }));
    }
    pair.timeouts->advance(std::chrono::milliseconds(1));
    std::lock_guard lock(mutex);
    EXPECT_EQ(pongs, (std::vector<bool> { true, false }));
}
