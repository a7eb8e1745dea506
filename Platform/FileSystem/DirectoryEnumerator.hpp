#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"
#include "Platform/FileSystem/ItemStat.hpp"

#include <expected>
#include <functional>
#include <optional>
#include <string>

namespace Platform {

// One item found below the enumerated directory.
struct DirectoryEntry {
    std::string path;          // the directory as given, "/", then the relative part
    std::string relativePath;  // below the directory, beginning with "/" ("/Docs/a.txt")
    std::string name;          // the last component
    ItemStat status;         // lstat of the item: a symbolic link is reported as a link
    int depth = 1;             // 1 for items directly in the directory
    bool hasValidName = true;  // false when `name` is not valid UTF-8
};

// An item the enumeration could not read. A `notFound` error means the item
// vanished between being listed and being looked at.
struct EnumerationError {
    std::string path;
    std::string relativePath;
    FileSystemError error;
};

// Walks a directory tree with fts(3): pre-order (a directory before its
// contents), the entries of each directory sorted by name byte for byte,
// hidden items included, symbolic links never followed, other mounted file
// systems entered. Errors never end the walk: each unreadable or vanished
// item goes to the error handler and the walk goes on (an unreadable
// directory is returned itself, then reported). A directory whose name is not
// valid UTF-8 is returned with `hasValidName == false` and not descended into.
//
// Lazy: each `next()` reads only as far as it needs. The enumerator never
// changes the working directory, so several may run at once on different
// threads; one enumerator belongs to one thread at a time.
class DirectoryEnumerator {
public:
    using ErrorHandler = std::function<void(const EnumerationError&)>;

    // Opens `directory` (a final symbolic link to a directory is followed).
    // Without a handler, errors are logged as "❗️ " and their description.
    [[nodiscard]] static std::expected<DirectoryEnumerator, FileSystemError> open(std::string directory,
                                                                                  ErrorHandler errorHandler = {});

    DirectoryEnumerator(DirectoryEnumerator&& other) noexcept;
    DirectoryEnumerator& operator=(DirectoryEnumerator&& other) noexcept;
    DirectoryEnumerator(const DirectoryEnumerator&) = delete;
    DirectoryEnumerator& operator=(const DirectoryEnumerator&) = delete;
    ~DirectoryEnumerator();

    // The next item, or nothing when the walk is over.
    std::optional<DirectoryEntry> next();
    // Do not descend into the directory `next()` returned last.
    void skipDescendants();

private:
    struct State;
    explicit DirectoryEnumerator(State* state);
    State* m_state = nullptr;
};

}  // namespace Platform
