#pragma once

#include "Platform/FileSystem/DirectoryEnumerator.hpp"
#include "Platform/Foundation/URL.hpp"

#include <iterator>
#include <memory>
#include <optional>

namespace Sync {

// A lazy sequence of the file URLs of every item below a directory, in the
// order of Platform::DirectoryEnumerator: pre-order (a directory before its
// contents), names sorted byte for byte per directory, hidden items included,
// symbolic links listed but never followed. Directories' URLs end with "/".
// The directory itself is not part of it.
//
// Every `begin()` starts a new walk of the disk as it is then. An item that
// cannot be read is logged as "❗️ " and the error's description (not its
// URL) and the walk goes on; a directory that cannot be opened, or a URL that
// is not a file URL, gives an empty sequence. A sequence may be walked on any
// thread; one iterator belongs to one thread at a time.
class DirectorySequence {
public:
    class Iterator {
    public:
        using value_type = Platform::URL;
        using difference_type = std::ptrdiff_t;

        Iterator() = default;
        const Platform::URL& operator*() const { return *m_current; }
        const Platform::URL* operator->() const { return &*m_current; }
        Iterator& operator++();
        void operator++(int) { ++*this; }
        friend bool operator==(const Iterator& iterator, std::default_sentinel_t) { return !iterator.m_current; }

    private:
        friend class DirectorySequence;
        explicit Iterator(std::shared_ptr<Platform::DirectoryEnumerator> enumerator);

        std::shared_ptr<Platform::DirectoryEnumerator> m_enumerator;
        std::optional<Platform::URL> m_current;
    };

    explicit DirectorySequence(Platform::URL directory)
        : m_directory(std::move(directory))
    {
    }

    [[nodiscard]] Iterator begin() const;
    [[nodiscard]] std::default_sentinel_t end() const { return {}; }

private:
    Platform::URL m_directory;
};

// The file manager's enumeration on which the disk scan rests.
class FileManager {
public:
    // Every item below the directory at `directory` (a file URL).
    [[nodiscard]] static DirectorySequence directorySequence(const Platform::URL& directory)
    {
        return DirectorySequence(directory);
    }

    // The error handler of every walk: "❗️ " and the error's description.
    static void logEnumerationError(const Platform::EnumerationError& error);
};

} // namespace Sync
