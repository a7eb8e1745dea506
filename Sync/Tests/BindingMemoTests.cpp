#include "Sync/References/BindingMemo.hpp"

#include "Platform/FileSystem/ItemStat.hpp"
#include "Sync/References/ExtendedAttributeFileReferenceMapping.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <vector>

#include <sys/stat.h>

using namespace Sync;
using namespace Sync::Testing;
using namespace std::chrono_literals;
using Platform::ChangeStamp;
using Platform::FileTime;

namespace {

const FileTime now = FileTime(std::chrono::seconds(1'800'000'000));
// An item last changed an hour before `now`.
const ChangeStamp settled { 7, 1000, now - 1h };

ChangeStamp with(ChangeStamp stamp, std::uint64_t device, std::uint64_t inode, FileTime changed)
{
    stamp.device = device;
    stamp.inode = inode;
    stamp.changeTime = changed;
    return stamp;
}

} // namespace

TEST(BindingMemo, AnAnswerServesOnlyTheSamePathWithTheSameStamp)
{
    BindingMemo memo;
    memo.beginScan();
    memo.keep("/a.txt", settled, 42, now);
    memo.keep("/unbound.txt", settled, std::nullopt, now);

    EXPECT_EQ(memo.find("/a.txt", settled), std::optional(std::optional<std::int64_t>(42)));
    // An unbound item is an answer too: no read for it either.
    auto unbound = memo.find("/unbound.txt", settled);
    ASSERT_TRUE(unbound.has_value());
    EXPECT_FALSE(unbound->has_value());

    // The attribute was written (or the item renamed), the item replaced,
    // another file system mounted there, another path asked.
    EXPECT_FALSE(memo.find("/a.txt", with(settled, 7, 1000, settled.changeTime + 1ns)));
    EXPECT_FALSE(memo.find("/a.txt", with(settled, 7, 1001, settled.changeTime)));
    EXPECT_FALSE(memo.find("/a.txt", with(settled, 8, 1000, settled.changeTime)));
    EXPECT_FALSE(memo.find("/b.txt", settled));
    EXPECT_FALSE(memo.find("/a.txt/", settled));

    // A newer answer replaces the older one under the path.
    auto rewritten = with(settled, 7, 1000, settled.changeTime + 1s);
    memo.keep("/a.txt", rewritten, 43, now);
    EXPECT_EQ(memo.find("/a.txt", rewritten), std::optional(std::optional<std::int64_t>(43)));
    EXPECT_FALSE(memo.find("/a.txt", settled));
    EXPECT_EQ(memo.size(), 2u);
}

TEST(BindingMemo, AnswersReadSoonAfterTheItemsLastChangeServeOnlyTheirOwnScan)
{
    BindingMemo memo(BindingMemo::Options { .racyInterval = 2s });
    memo.beginScan();
    // A write within the same timestamp tick after the read would leave the
    // stamp as it was, with another attribute.
    auto recent = with(settled, 7, 1, now - 1s);
    memo.keep("/recent.txt", recent, 42, now);
    auto justSettled = with(settled, 7, 2, now - 2s);
    memo.keep("/settled.txt", justSettled, 43, now);
    EXPECT_EQ(memo.find("/recent.txt", recent), std::optional(std::optional<std::int64_t>(42)));
    EXPECT_EQ(memo.find("/settled.txt", justSettled), std::optional(std::optional<std::int64_t>(43)));

    memo.beginScan();
    EXPECT_FALSE(memo.find("/recent.txt", recent));
    EXPECT_TRUE(memo.find("/settled.txt", justSettled));

    memo.keep("/zero.txt", settled, 0, now);
    memo.keep("/negative.txt", settled, -5, now);
    EXPECT_FALSE(memo.find("/zero.txt", settled));
    EXPECT_FALSE(memo.find("/negative.txt", settled));
    EXPECT_EQ(memo.size(), 1u);
}

TEST(BindingMemo, AScanForgetsWhatTheScanBeforeDidNotAskFor)
{
    BindingMemo memo;
    memo.beginScan();
    constexpr int count = 20'000;
    auto pathOf = [](int index) { return "/Folder" + std::to_string(index / 100) + "/file" + std::to_string(index); };
    auto stampOf = [](int index) { return with(settled, 7, 5000 + static_cast<std::uint64_t>(index), settled.changeTime); };
    for (int index = 0; index < count; ++index)
        memo.keep(pathOf(index), stampOf(index), index + 1, now);
    ASSERT_EQ(memo.size(), static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index)
        ASSERT_EQ(memo.find(pathOf(index), stampOf(index)), std::optional(std::optional<std::int64_t>(index + 1)))
            << index;

    // The next scan asks for the even items only (the odd ones are gone).
    memo.beginScan();
    for (int index = 0; index < count; index += 2)
        ASSERT_TRUE(memo.find(pathOf(index), stampOf(index)));
    memo.keep("/new.txt", settled, 99'999, now);
    memo.beginScan();
    EXPECT_EQ(memo.size(), static_cast<std::size_t>(count / 2 + 1));
    for (int index = 0; index < count; ++index)
        ASSERT_EQ(memo.find(pathOf(index), stampOf(index)).has_value(), index % 2 == 0) << index;
    EXPECT_TRUE(memo.find("/new.txt", settled));

    // A scan that finds nothing leaves nothing.
    memo.beginScan();
    memo.beginScan();
    EXPECT_EQ(memo.size(), 0u);
    EXPECT_FALSE(memo.find(pathOf(0), stampOf(0)));
}

namespace {

// The system's attributes, counting the reads.
class CountingAttributes final : public Platform::ExtendedAttributes {
public:
    std::expected<std::optional<Bytes>, Platform::FileSystemError> value(const std::string& path,
        const std::string& name) const override
    {
        ++reads;
        return m_system->value(path, name);
    }
    std::expected<void, Platform::FileSystemError> setValue(const std::string& path, const std::string& name,
        const Bytes& value) const override
    {
        return m_system->setValue(path, name, value);
    }
    std::expected<void, Platform::FileSystemError> removeValue(const std::string& path,
        const std::string& name) const override
    {
        return m_system->removeValue(path, name);
    }

    mutable std::atomic<int> reads { 0 };

private:
    std::shared_ptr<const Platform::ExtendedAttributes> m_system = Platform::ExtendedAttributes::system();
};

struct MemoMappingFixture : ::testing::Test {
    TemporaryDirectory sandbox;
    std::string cloud = sandbox / "cloud";
    Platform::URL cloudURL = Platform::URL::fileURL(cloud, Platform::URL::IsDirectory::Yes);
    std::shared_ptr<InMemoryFileStore> store = std::make_shared<InMemoryFileStore>();
    std::shared_ptr<CountingAttributes> attributes = std::make_shared<CountingAttributes>();
    // Answers are kept at once: the test writes nothing while it asks.
    ExtendedAttributeFileReferenceMapping mapping { store, attributes, nullptr, BindingMemo::Options { .racyInterval = 0ns } };
    // Another program, writing the same attributes.
    ExtendedAttributeFileReferenceMapping other { store };

    void SetUp() override { ASSERT_EQ(::mkdir(cloud.c_str(), 0755), 0); }

    ChangeStamp stampOf(const std::string& relative) const
    {
        auto status = Platform::ItemStat::of(cloud + relative);
        EXPECT_TRUE(status.has_value());
        return status ? ChangeStamp::from(*status) : ChangeStamp {};
    }
    // One scan's questions for the items at `paths`.
    std::vector<std::optional<std::int64_t>> scan(std::initializer_list<std::string> paths)
    {
        mapping.beginScan();
        std::vector<std::optional<std::int64_t>> answers;
        for (const auto& relative : paths) {
            auto stamp = stampOf(relative);
            answers.push_back(mapping.boundRemoteID(relative, cloud + relative, cloudURL, &stamp));
        }
        return answers;
    }
    std::optional<std::int64_t> scanFor(const std::string& relative) { return scan({ relative }).front(); }
    // Binds the item at `relative` to `id` as another program would, until
    // the item's change stamp shows it (writes within one timestamp tick
    // leave it as it was).
    void bindElsewhere(const std::string& relative, std::int64_t id)
    {
        const auto before = stampOf(relative);
        do {
            other.addReference(*item(relative, "", SyncFileID::remote(id)), cloudURL);
        } while (stampOf(relative) == before);
    }
};

} // namespace

TEST_F(MemoMappingFixture, AnUnchangedItemIsAnsweredWithoutReadingItsAttributeAgain)
{
    Platform::Testing::writeFile(cloud + "/a.txt", "a");
    Platform::Testing::writeFile(cloud + "/unbound.txt", "u");
    bindElsewhere("/a.txt", 42);

    using Answers = std::vector<std::optional<std::int64_t>>;
    EXPECT_EQ(scan({ "/a.txt", "/unbound.txt" }), (Answers { 42, std::nullopt }));
    EXPECT_EQ(attributes->reads, 2);
    // Later scans: nothing changed, nothing read.
    EXPECT_EQ(scan({ "/a.txt", "/unbound.txt" }), (Answers { 42, std::nullopt }));
    EXPECT_EQ(scan({ "/a.txt", "/unbound.txt" }), (Answers { 42, std::nullopt }));
    EXPECT_EQ(attributes->reads, 2);
    // A scan that did not ask for an item forgets it.
    EXPECT_EQ(scanFor("/a.txt"), 42);
    EXPECT_EQ(scanFor("/unbound.txt"), std::nullopt);
    EXPECT_EQ(attributes->reads, 3);

    // Without a stamp the attribute is always read.
    EXPECT_EQ(mapping.boundRemoteID("/a.txt", cloud + "/a.txt", cloudURL, nullptr), 42);
    EXPECT_EQ(attributes->reads, 4);
}

TEST_F(MemoMappingFixture, AnAttributeWrittenOrAnItemReplacedSinceTheScanBeforeIsReadAgain)
{
    Platform::Testing::writeFile(cloud + "/a.txt", "a");
    bindElsewhere("/a.txt", 42);
    ASSERT_EQ(scanFor("/a.txt"), 42);

    // Another program binds the item anew, or unbinds it.
    bindElsewhere("/a.txt", 43);
    EXPECT_EQ(scanFor("/a.txt"), 43);
    const auto before = stampOf("/a.txt");
    do {
        other.removeReference("/a.txt", cloudURL);
    } while (stampOf("/a.txt") == before);
    EXPECT_EQ(scanFor("/a.txt"), std::nullopt);

    // The item goes and another one, bound elsewhere, is moved to its path:
    // the moved item's own binding counts.
    Platform::Testing::writeFile(cloud + "/z.txt", "z");
    bindElsewhere("/z.txt", 77);
    bindElsewhere("/a.txt", 42);
    ASSERT_EQ(scanFor("/a.txt"), 42);
    ASSERT_EQ(::rename((cloud + "/z.txt").c_str(), (cloud + "/a.txt").c_str()), 0);
    EXPECT_EQ(scanFor("/a.txt"), 77);
}

TEST_F(MemoMappingFixture, ABindingWrittenWhileTheItemWasStagedIsTheOneOfItsPlace)
{
    // The disk store has the mapping bind a download where it is staged, then
    // renames it into place: the binding is the place's (another program
    // reads it there), and the next scan knows it without a read. An item
    // with a local id is not bound.
    ASSERT_EQ(::mkdir((cloud + "/.staging").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((cloud + "/Docs").c_str(), 0755), 0);
    const auto staged = cloud + "/.staging/download";
    Platform::Testing::writeFile(staged, "a");
    auto file = item("/Docs/a.txt", "", SyncFileID::remote(42));
    ASSERT_TRUE(mapping.bind(*file, staged));
    ASSERT_EQ(::rename(staged.c_str(), (cloud + "/Docs/a.txt").c_str()), 0);
    mapping.placed(*file, cloud + "/Docs/a.txt");

    EXPECT_EQ(scanFor("/Docs/a.txt"), 42);
    EXPECT_EQ(attributes->reads, 0);
    EXPECT_EQ(other.boundRemoteID("/Docs/a.txt", cloud + "/Docs/a.txt", cloudURL, nullptr), 42);

    Platform::Testing::writeFile(staged, "b");
    EXPECT_FALSE(mapping.bind(*item("/Docs/b.txt"), staged));
    EXPECT_EQ(other.boundRemoteID("/Docs/b.txt", staged, cloudURL, nullptr), std::nullopt);
}

TEST(BindingMemoSync, AFileMovedOntoADeletedOnesPathKeepsItsOwnIdentityAcrossIdleRuns)
{
    // The later runs answer the bindings from the memo: the file moved onto
    // the deleted one's path is the moved one, not the one that was there.
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "a");
    cloud.server->addFile("/z.txt", "z");
    ASSERT_TRUE(cloud.sync().completed);
    expectIdle(cloud);
    const auto movedID = cloud.server->idAt("/z.txt");
    ASSERT_TRUE(movedID.has_value());

    cloud.removeItem("/a.txt");
    cloud.moveItem("/z.txt", "/a.txt");
    auto run = cloud.sync();
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.server->idAt("/a.txt"), movedID);
    EXPECT_EQ(cloud.server->contentAt("/a.txt"), "z");
    EXPECT_FALSE(cloud.server->idAt("/z.txt").has_value());
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(BindingMemoSync, AStartedEngineReadsABigTreesBindingsAheadAndFollowsTheRenamesMadeMeanwhile)
{
    // A started engine remembers no binding: it reads them all ahead, on
    // several threads, and what was renamed or edited while it was not
    // running arrives as renames and new content, nothing else.
    constexpr int files = 1'200;
    auto pathOf = [](int index) { return "/Folder" + std::to_string(index / 100) + "/file" + std::to_string(index) + ".txt"; };
    auto server = std::make_shared<InMemorySyncServer>();
    std::string directory;
    {
        TestCloud before;
        before.keepDirectory();
        directory = before.directory();
        for (int index = 0; index < files; ++index)
            before.server->addFile(pathOf(index), "content " + std::to_string(index));
        ASSERT_TRUE(before.sync(std::chrono::minutes(2)).completed);
        server = before.server;
        for (int index = 0; index < files; index += 100)
            before.moveItem(pathOf(index), pathOf(index) + ".renamed");
        for (int index = 50; index < files; index += 200)
            before.writeFile(pathOf(index), "edited " + std::to_string(index));
    }
    TestCloud cloud(directory, server);
    server->resetCounts();
    auto run = cloud.sync(std::chrono::minutes(2));
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(server->callCount(InMemorySyncServer::Call::rename), files / 100);
    EXPECT_EQ(server->mutationCount(), files / 100 + files / 200);
    EXPECT_EQ(server->contentAt(pathOf(0) + ".renamed"), "content 0");
    EXPECT_EQ(server->contentAt(pathOf(50)), "edited 50");
    EXPECT_FALSE(server->idAt(pathOf(100)).has_value());
    expectInStep(cloud);
    expectIdle(cloud);
}
