#pragma once
// The tree of every account: items, their places, names, shares and etags,
// kept in the service database and mirrored in memory. How contents lie on
// disk is ContentFiles' business. The members are defined by what they do:
// opening (FileTree.cpp), changes reaching the database and the mirror
// (TreeChanges.cpp), names and paths (TreePaths.cpp), listings
// (TreeListing.cpp), items the service makes (TreeCreation.cpp), contents
// (TreeContent.cpp), moves (TreeMoves.cpp), deletions (TreeDeletions.cpp) and
// share fields (TreeSharing.cpp).

#include "LocalCloud/Storage/ServiceClock.hpp"
#include "LocalCloud/Storage/ServiceDatabase.hpp"
#include "LocalCloud/Storage/ServiceError.hpp"
#include "LocalCloud/Tree/ContentFiles.hpp"

#include <cstdint>
#include <deque>
#include <expected>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace LocalCloud {

// One item as the routes describe it: the stored record and its path
// ("/" for the root, folders ending with "/").
struct FileView {
    ItemRecord record;
    std::string path;
    // Whether the service lets the account share it, privately and publicly.
    bool privatelySharable = false;
    bool publiclySharable = false;
};

// The share fields of an item.
struct ShareState {
    bool hasPublicLink = false;
    // End of the public link, seconds since 1970; 0 for none.
    std::int64_t publicValidTo = 0;
    std::int64_t privateShares = 0;
};

// What a file announcement carries.
struct Announcement {
    std::int64_t parentID = 0;
    std::string name;
    std::string mimeType;
    std::int64_t created = 0;
    std::int64_t modified = 0;
    std::string hash;
    std::int64_t size = 0;
};

struct AnnouncementOutcome {
    FileView file;
    // False when the folder holds the same content under that name already.
    bool needsContent = true;
};

// Content received into a temporary file of the content folder.
struct ReceivedContent {
    std::filesystem::path temporaryFile;
    std::int64_t size = 0;
    std::string sha1;
    std::optional<std::string> requestHash;
    std::optional<std::string> contentType;
};

struct DeleteOutcome {
    std::vector<std::int64_t> deleted;
    std::vector<ServiceError> errors;
};

// A deleted item as it was at its deletion, and when that was (seconds since 1970).
struct DeletedFile {
    FileView file;
    std::int64_t deleted = 0;
};

struct MoveOutcome {
    std::vector<FileView> moved;
    std::vector<std::int64_t> failed;
};

// One entry of a seeded tree: a folder when `path` ends with "/".
struct SeedEntry {
    std::string path;
    std::string content {};
};

struct QuotaState {
    std::int64_t total = 0;
    std::int64_t used = 0;
};

// Every account's tree, kept in the service database and mirrored in memory;
// contents are files of `<data>/content` named by identifier. A change is
// written to the database first and reaches the mirror only once committed.
// A change gives the item and each of its ancestors a new etag.
//
// Every member may be called from any thread; changes are serialised.
class FileTree {
public:
    // Longest name in bytes, longest path in bytes.
    static constexpr std::size_t maximumNameBytes = 255;
    static constexpr std::size_t maximumPathBytes = 4096;

    // `clock` stamps the items' times and dates their deletions.
    [[nodiscard]] static std::expected<std::unique_ptr<FileTree>, std::string> open(
        const std::filesystem::path& dataFolder, ServiceClock clock);

    [[nodiscard]] const std::filesystem::path& contentFolder() const { return m_contents.folder(); }
    [[nodiscard]] std::filesystem::path contentPath(std::int64_t identifier) const;
    // A new name for a temporary file in the content folder (left over ones go at the next start).
    [[nodiscard]] std::filesystem::path temporaryContentPath();

    // The account's root folder, made on first use.
    [[nodiscard]] std::expected<FileView, ServiceError> root(const std::string& account);
    // A listed item of the account.
    [[nodiscard]] std::expected<FileView, ServiceError> file(const std::string& account, std::int64_t identifier);
    // The listed items in the folder (its root when absent), or everything below it.
    [[nodiscard]] std::expected<std::vector<FileView>, ServiceError> children(const std::string& account,
        std::optional<std::int64_t> folderID, bool recursive);
    // The listed items below `folderPath` (all when absent) that `accept` takes, in tree order.
    [[nodiscard]] std::expected<std::vector<FileView>, ServiceError> select(const std::string& account,
        const std::function<bool(const ItemRecord&)>& accept, std::optional<std::string> folderPath = std::nullopt,
        std::size_t limit = SIZE_MAX);

    // Items deleted at `since` or later, as long as their tombstones last.
    [[nodiscard]] std::vector<DeletedFile> deletedSince(const std::string& account, std::int64_t since);
    // How long, and for how many items of a service, a deletion stays known.
    static constexpr std::int64_t tombstoneSeconds = 30 * 24 * 3600;
    static constexpr std::size_t maximumTombstones = 100'000;

    [[nodiscard]] std::expected<FileView, ServiceError> createFolder(const std::string& account,
        std::optional<std::int64_t> parentID, const std::string& name);
    [[nodiscard]] std::expected<FileView, ServiceError> rename(const std::string& account, std::int64_t identifier,
        const std::string& newName);
    [[nodiscard]] std::expected<AnnouncementOutcome, ServiceError> announce(const std::string& account,
        const Announcement& announcement, std::int64_t totalBytes);
    // Free bytes the account has for content that would replace `identifier`'s.
    [[nodiscard]] std::int64_t freeBytesFor(const std::string& account, std::int64_t identifier,
        std::int64_t totalBytes);
    // Puts received content in place for an announced or existing file; the
    // temporary file is gone afterwards, whatever the outcome.
    [[nodiscard]] std::expected<FileView, ServiceError> storeContent(const std::string& account,
        std::int64_t identifier, const ReceivedContent& content, std::int64_t totalBytes);
    // An open descriptor of a listed file's content, with its size; the caller closes it.
    [[nodiscard]] std::expected<std::pair<int, std::int64_t>, ServiceError> openContent(const std::string& account,
        std::int64_t identifier);
    [[nodiscard]] DeleteOutcome remove(const std::string& account, const std::vector<std::int64_t>& identifiers);
    [[nodiscard]] MoveOutcome move(const std::string& account, const std::vector<std::int64_t>& identifiers,
        std::int64_t destinationID);
    [[nodiscard]] std::expected<FileView, ServiceError> setShared(const std::string& account,
        std::int64_t identifier, bool shared);
    // Sets the share fields; a new etag for the item and its ancestors.
    [[nodiscard]] std::expected<FileView, ServiceError> setShareState(const std::string& account,
        std::int64_t identifier, const ShareState& state);
    // Test control: -1 follows the rules, 0 forbids, 1 allows.
    [[nodiscard]] std::expected<FileView, ServiceError> setSharePermissions(const std::string& account,
        std::int64_t identifier, std::int64_t allowPrivate, std::int64_t allowPublic);
    // Why the item may not get a share of that kind, if it may not.
    [[nodiscard]] std::optional<ServiceError> shareProblem(const std::string& account, std::int64_t identifier,
        bool publicLink);
    // Checkpoints the database log into the database file.
    [[nodiscard]] std::expected<void, ServiceError> flush();
    [[nodiscard]] std::int64_t usedBytes(const std::string& account);

    // Test control: makes folders and files below the root in one transaction .
    [[nodiscard]] std::expected<void, ServiceError> seed(const std::string& account,
        const std::vector<SeedEntry>& entries);

    // The reason a name cannot be stored, if any.
    [[nodiscard]] static std::optional<ServiceError> nameProblem(const std::string& name);

private:
    struct Node {
        ItemRecord record;
        // Listed children by precomposed name.
        std::map<std::string, std::int64_t> children;
    };
    // Rows to write in one transaction; later writes of the same row win.
    struct Change {
        std::map<std::int64_t, ItemRecord> upserts;
        std::vector<std::int64_t> removals;
        bool identifiersUsed = false;
    };

    FileTree(std::filesystem::path contentFolder, Platform::Database database, ServiceClock clock);
    [[nodiscard]] std::expected<void, std::string> load();
    void finishStoredContents();
    // Notes every listed file whose content is not the recorded one in `m_damaged`.
    void checkStoredContents();
    // Names are compared precomposed.
    [[nodiscard]] static std::string key(const std::string& name);
    static constexpr const char* folderMimeType = "httpd/unix-directory";

    // All need `m_mutex`.
    [[nodiscard]] std::expected<std::int64_t, ServiceError> rootID(const std::string& account);
    [[nodiscard]] Node* listedNode(const std::string& account, std::int64_t identifier);
    [[nodiscard]] std::string pathOf(std::int64_t identifier) const;
    [[nodiscard]] std::int64_t childNamed(std::int64_t folderID, const std::string& name) const;
    // The first of "stem (1).ext", "stem (2).ext" … that neither a listed item
    // nor an announcement of other content holds in the folder, for content of
    // `hash` whose name a file with other content has taken; `ownID` is the
    // announcement that asks.
    [[nodiscard]] std::expected<std::string, ServiceError> freeName(std::int64_t folderID,
        const std::string& name, const std::string& hash, std::int64_t ownID = 0) const;
    // Why `name` cannot go into the folder (taken, or the path of the item or of
    // something below it, `belowBytes` longer than its own, would be too long).
    [[nodiscard]] std::optional<ServiceError> placementProblem(std::int64_t folderID, const std::string& name,
        std::size_t belowBytes, std::int64_t movingID = 0) const;
    // How many bytes the longest path below a folder adds to its name ("/" and the rest); 0 for a file.
    [[nodiscard]] std::size_t bytesBelow(std::int64_t identifier) const;
    [[nodiscard]] FileView view(std::int64_t identifier) const;
    // Whether a share of that kind would go inside a privately shared folder, or is against the rules.
    [[nodiscard]] bool insidePrivatelySharedFolder(std::int64_t identifier) const;
    // Whether something below the folder has a share of either kind.
    [[nodiscard]] bool holdsShare(std::int64_t folderID) const;
    [[nodiscard]] bool mayShare(const ItemRecord& record, bool publicLink) const;
    [[nodiscard]] ItemRecord& working(Change& change, std::int64_t identifier) const;
    // A new item's record with a new identifier, etag and change time; a file's size, hash and type are the caller's.
    [[nodiscard]] ItemRecord newItem(Change& change, const std::string& account, std::int64_t parentID,
        const std::string& name, bool isFolder, std::int64_t created);
    // A new etag and change time for the item's ancestors.
    void touchFolderChain(Change& change, std::int64_t folderID);
    void stamp(ItemRecord& record);
    [[nodiscard]] std::int64_t newIdentifier(Change& change);
    [[nodiscard]] std::expected<void, ServiceError> commit(Change change);
    void attach(const ItemRecord& record);
    void detach(const ItemRecord& record);
    void collect(std::int64_t identifier, std::vector<std::int64_t>& identifiers) const;
    void walk(std::int64_t folderID, const std::string& folderPath,
        const std::function<bool(const ItemRecord&, const std::string&)>& visit) const;

    ContentFiles m_contents;
    mutable std::mutex m_mutex;
    Platform::Database m_database;
    std::unordered_map<std::int64_t, Node> m_nodes;
    // Listed files whose content was found damaged at the start, with what is wrong.
    std::map<std::int64_t, std::string> m_damaged;
    // Announced uploads by folder and precomposed name.
    std::map<std::pair<std::int64_t, std::string>, std::int64_t> m_pending;
    std::map<std::string, std::int64_t> m_roots;
    // Deletions, oldest first; kept in memory only, so a restart forgets them.
    std::deque<std::pair<std::string, DeletedFile>> m_tombstones;
    std::map<std::string, std::int64_t> m_used;
    std::int64_t m_lastIdentifier = 0;
    std::int64_t m_lastIssuedIdentifier = 0;
    std::mt19937_64 m_random;
    ServiceClock m_clock;
};

// The SHA-1 a client sends as "Request-Hash" for content of `hash` named `name` in folder `parentID`.
[[nodiscard]] std::string requestHash(std::int64_t parentID, const std::string& name, const std::string& hash);

} // namespace LocalCloud
