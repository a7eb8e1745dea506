#pragma once
// The content folder: how the service keeps file contents on disk. A listed
// file's content is `<folder>/<identifier>`; new content waits as
// `<identifier>.next` between its arrival and the commit that names it; a
// transfer writes into `.incoming-…` until it has arrived whole (and synced).
// Every rename here is followed by a sync of the folder, so that what the
// service answered survives a power cut.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

namespace LocalCloud {

// Not synchronised: the tree that owns it serialises every call.
class ContentFiles {
public:
    explicit ContentFiles(std::filesystem::path folder);

    [[nodiscard]] const std::filesystem::path& folder() const { return m_folder; }
    [[nodiscard]] std::filesystem::path contentPath(std::int64_t identifier) const;
    // A new name for a temporary file; `random` keeps names of different runs apart.
    [[nodiscard]] std::filesystem::path temporaryPath(std::uint64_t random);

    // Transfers cut by the end of an earlier run leave their temporary files; none is content.
    void removeTemporaries();
    // What the database says a file's content is: its size and SHA-1 (hex).
    struct Recorded {
        std::int64_t size = 0;
        std::string sha1;
    };
    // New content an earlier run had not yet put in place: it becomes the
    // file's when `recordOf` names that file and the content matches, and goes otherwise.
    void finishWaiting(const std::function<std::optional<Recorded>(std::int64_t identifier)>& recordOf);

    // Whether the content of a listed file is the recorded one: present, of the
    // recorded size, and with the recorded hash where reading it is cheap (up
    // to `hashLimit` bytes). Answers what is wrong, or nullopt.
    [[nodiscard]] std::optional<std::string> damage(std::int64_t identifier, const Recorded& recorded,
        std::int64_t hashLimit) const;

    // Moves received (and synced) content to its waiting name; the old content stays in place.
    [[nodiscard]] std::error_code stage(const std::filesystem::path& temporaryFile, std::int64_t identifier);
    void discardStaged(std::int64_t identifier);
    // Puts waiting content in place of the old, once the database names it.
    [[nodiscard]] std::error_code placeStaged(std::int64_t identifier);

    // Writes the whole content at once and syncs it (seeded trees); its name is durable after `syncWritten`.
    [[nodiscard]] bool write(std::int64_t identifier, const std::string& content);
    // Makes everything `write` wrote durable, names included.
    [[nodiscard]] std::error_code syncWritten() const;
    void remove(std::int64_t identifier);
    // An open descriptor of the content with its size; the caller closes it.
    [[nodiscard]] std::optional<std::pair<int, std::int64_t>> open(std::int64_t identifier) const;

private:
    [[nodiscard]] std::filesystem::path nextPath(std::int64_t identifier) const;
    [[nodiscard]] std::error_code syncFolder() const;

    std::filesystem::path m_folder;
    std::uint64_t m_temporaryCounter = 0;
};

} // namespace LocalCloud
