#pragma once

// Sync/TestSupport: test doubles of what the application hands the engine,
// shared by the engine's tests, the scheduler's tests and the benchmarks.

#include "Platform/Foundation/Date.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Model/HashText.hpp"
#include "Sync/Remote/SyncAPIClient.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Sync::Testing {

// A file as the server double answers it: a File of its own concrete type
// (the application's model is not a FileWrapperItem either). Immutable.
class RemoteFile final : public File {
public:
    struct Fields {
        std::int64_t id = 0;
        std::int64_t parentID = 0;
        std::string path;
        std::string fileName;
        Platform::Date lastModifiedDate;
        FileType type = FileType::folder();
        std::string etag;
        bool hasPublicShare = false;
        bool hasPrivateShares = false;
        std::string fileHash;
    };

    explicit RemoteFile(Fields fields);

    const SyncFileID& syncFileID() const override { return m_syncFileID; }
    const std::string& path() const override { return m_fields.path; }
    const std::string& fileName() const override { return m_fields.fileName; }
    const SyncFileID& syncParentID() const override { return m_syncParentID; }
    Platform::Date lastModifiedDate() const override { return m_fields.lastModifiedDate; }
    const FileType& type() const override { return m_fields.type; }
    const std::optional<std::string>& syncEtag() const override { return m_etag; }
    bool hasPublicShare() const override { return m_fields.hasPublicShare; }
    bool hasPrivateShares() const override { return m_fields.hasPrivateShares; }
    std::string_view fileHash() const override { return m_fileHash.view(); }
    std::string description() const override { return "RemoteFile(" + m_fields.path + ")"; }

private:
    Fields m_fields;
    SyncFileID m_syncFileID;
    SyncFileID m_syncParentID;
    std::optional<std::string> m_etag;
    // Inline, as the application's listing keeps it.
    HashText m_fileHash;
};

// What the server double fails with.
struct ServerError {
    std::string message;
    [[nodiscard]] std::string description() const { return "Server: " + message; }
};

// An in-memory remote storage behind the engine's SyncAPIClient, behaving as
// the application's adapter over the real service does:
// - the root folder has id 100, new items take the next integer;
// - paths begin with "/" and folder paths end with "/"; names are kept in NFC;
// - hashes are lower-case SHA-1 of the content; dates are whole seconds;
// - the root etag (and the etag of each changed item) changes with every mutation;
// - a delete completes without a value; a move only re-parents (the name stays);
// - an upload or new folder whose name is taken in its parent fails;
// - downloads write the content into a file of the temporary folder, which
//   the engine's disk store then puts in place;
// - uploads read the file as the real client does (Platform::RegularFile).
// Failures can be injected per call (and per path). Calls are counted.
//
// Every producer does its work when started, on the starting thread, or on
// the delivery scheduler when one is set; a started producer keeps the server
// alive. Make it with std::make_shared. Thread-safe.
class InMemorySyncServer final : public SyncAPIClient, public std::enable_shared_from_this<InMemorySyncServer> {
public:
    // Never renumber: the index of the call counters.
    enum class Call {
        rootFolderID,
        remoteFiles,
        rootEtag,
        download,
        upload,
        reupload,
        createFolder,
        deleteItem,
        rename,
        move,
        publicShareInfo,
        privateShareInfos,
    };
    static constexpr std::size_t callKinds = 12;
    static constexpr std::int64_t rootID = 100;

    InMemorySyncServer();

    // SyncAPIClient.
    Producer<std::int64_t> syncRootFolderID() override;
    Producer<std::vector<FileRef>> syncRemoteFiles() override;
    Producer<std::string> syncRootEtag() override;
    Producer<DownloadedFileRef> syncDownload(FileRef file) override;
    Producer<FileRef> syncUpload(FileRef file, Platform::URL cloudFolder) override;
    Producer<FileRef> syncReupload(FileRef file, Platform::URL cloudFolder) override;
    Producer<FileRef> syncCreateFolder(FileRef file) override;
    Producer<Reactive::Unit> syncDelete(FileRef file) override;
    Producer<FileRef> syncRename(FileRef file) override;
    Producer<FileRef> syncMove(FileRef file) override;
    Producer<PublicShare> syncPublicShareInfo(FileRef file) override;
    Producer<PrivateShares> syncPrivateShareInfos(FileRef file) override;

    // Changes made "by another client", as the tests set the server up. Paths
    // as the engine writes them; missing parent folders are created. Each
    // answers the item's id (-1 when the path does not exist).
    std::int64_t addFolder(const std::string& path);
    std::int64_t addFile(const std::string& path, const std::string& content,
        std::optional<Platform::Date> modified = std::nullopt);
    std::int64_t setContent(const std::string& path, const std::string& content,
        std::optional<Platform::Date> modified = std::nullopt);
    bool removeItem(const std::string& path);
    // Moves or renames an item (with everything below it) to `newPath`.
    bool moveItem(const std::string& path, const std::string& newPath);
    bool setShares(const std::string& path, PublicShare publicShare, PrivateShares privateShares);

    // Lists `file` in every listing from now on, as it is, beside the tree
    // (for listings the real service should never send); a new root etag.
    void addListingEntry(FileRef file);
    // The next `count` listings leave out the item at `path` and everything
    // below it, as a service answering a short listing would; the root etag
    // stays as it is.
    void hideFromListings(const std::string& path, int count = 1);
    // From now on an upload under a name its parent holds already, with
    // other content, is stored beside that item under the next free name
    // ("name (1).ext"), as the real service keeps it, instead of being refused.
    void setUploadsBesideTakenNames(bool beside);

    // What the server holds now.
    [[nodiscard]] std::optional<std::int64_t> idAt(const std::string& path) const;
    [[nodiscard]] std::optional<std::string> contentAt(const std::string& path) const;
    [[nodiscard]] std::shared_ptr<RemoteFile> fileAt(const std::string& path) const;
    // Every path below the root, sorted byte for byte.
    [[nodiscard]] std::vector<std::string> paths() const;
    [[nodiscard]] std::string rootEtag() const;

    // The next `count` calls of `call` fail (only those about `path`, when given).
    void failNext(Call call, int count = 1, std::optional<std::string> path = std::nullopt);
    // Every call of `call` fails until `clearFailures`.
    void failAlways(Call call);
    void clearFailures();

    [[nodiscard]] int callCount(Call call) const;
    // Calls that changed the server: upload, re-upload, create folder, delete, rename, move.
    [[nodiscard]] int mutationCount() const;
    void resetCounts();

    // Work and delivery on `scheduler` from now on (null: the starting thread).
    void setDeliveryScheduler(Reactive::SchedulerPtr scheduler);

    // Keeps the whole state in `file` from now on, as a server that stores
    // before it answers: written now, and after every change made through
    // the SyncAPIClient before the change is answered (to a temporary file,
    // renamed into place). For tests whose engine process is killed.
    void persistTo(std::string file);
    // A server with the state a persisting server left in `file`; nullptr
    // when the file cannot be read.
    [[nodiscard]] static std::shared_ptr<InMemorySyncServer> load(const std::string& file);
    // Called at named steps of the server's work ("download.staged",
    // "upload.read", "server.stored"), on the working
    // thread, without the lock held.
    void setStepHook(std::function<void(std::string_view)> hook);

private:
    struct Item {
        std::int64_t id = 0;
        std::int64_t parentID = 0;
        std::string name;
        bool folder = false;
        std::string mimeType;
        std::string content;
        std::string hash;
        Platform::Date modified;
        std::string etag;
        PublicShare publicShare;
        PrivateShares privateShares;
    };
    struct Failure {
        Call call;
        int remaining;
        std::optional<std::string> path;
    };

    template<class T>
    Producer<T> operation(Call call, std::string path, std::function<Reactive::Result<T, Reactive::AnyError>()> work);
    [[nodiscard]] bool consumeFailure(Call call, const std::string& path);
    void step(std::string_view name) const;
    // Writes the state to the persistent file, when there is one.
    void persist() const;

    // All below with m_mutex held.
    [[nodiscard]] std::string pathOf(const Item& item) const;
    [[nodiscard]] Item* find(std::int64_t id);
    [[nodiscard]] Item* findPath(const std::string& path);
    [[nodiscard]] Item* child(std::int64_t parentID, const std::string& name);
    [[nodiscard]] std::shared_ptr<RemoteFile> answer(const Item& item) const;
    std::int64_t insert(Item item);
    void erase(std::int64_t id);
    void reparent(Item& item, std::int64_t parentID, std::string name);
    std::string nextEtag();
    std::int64_t ensureFolder(const std::string& path);
    Reactive::Result<Item*, Reactive::AnyError> requireItem(const File& file);
    // A new item named after `file` under its remote parent, refused when the
    // parent is no folder or the name is taken. Call with the lock held.
    Reactive::Result<Item, Reactive::AnyError> newChild(const File& file);
    // The next free "stem (n).ext" for `name` in `parentID`. Call with the lock held.
    [[nodiscard]] std::string freeName(std::int64_t parentID, const std::string& name);
    // Whether a listing now leaves out `path` (see hideFromListings). Call with the lock held.
    [[nodiscard]] bool hiddenFromListing(const std::string& path) const;

    mutable std::mutex m_mutex;
    std::map<std::int64_t, Item> m_items;
    std::unordered_map<std::int64_t, std::map<std::string, std::int64_t>> m_children;
    std::int64_t m_nextID { rootID + 1 };
    std::int64_t m_version { 0 };
    std::vector<Failure> m_failures;
    std::array<int, callKinds> m_calls {};
    Reactive::SchedulerPtr m_delivery;
    std::string m_persistentFile;
    std::function<void(std::string_view)> m_stepHook;
    std::int64_t m_downloads { 0 };
    std::vector<FileRef> m_extraEntries;
    std::vector<std::pair<std::string, int>> m_hidden;
    bool m_uploadsBesideTakenNames { false };
};

} // namespace Sync::Testing
