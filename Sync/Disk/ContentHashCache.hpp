#pragma once

#include "Platform/FileSystem/ContentHashKey.hpp"
#include "Platform/FileSystem/FileSystemError.hpp"
#include "Platform/FileSystem/ItemStat.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Sync {

// SHA-1 content hashes of files, remembered under their ContentHashKey so a
// scan never reads a file again that has not changed since the last scan.
//
// A hash is remembered only when the file's change time lies at least
// `racyInterval` before the moment the read began: a file changed again
// within the same timestamp tick would otherwise keep its key with new
// content. A file whose key changed while it was read is hashed but not
// remembered. Files are opened without following links, and only regular
// files are read.
//
// Each scan runs between `beginScan` and `endScan`; a completed scan forgets
// every entry it did not use, so the cache holds at most the files of the
// latest scan. Thread-safe: several scans may share one cache at once.
class ContentHashCache {
public:
    struct Options {
        // How long after its last change a file's hash may be remembered.
        std::chrono::nanoseconds racyInterval = std::chrono::seconds { 2 };
    };

    [[nodiscard]] static std::shared_ptr<ContentHashCache> create(Options options);
    [[nodiscard]] static std::shared_ptr<ContentHashCache> create() { return create(Options {}); }

    // A generation number for the scan that begins.
    [[nodiscard]] std::uint64_t beginScan();
    // Forgets every entry that no scan since `generation` began has used.
    void endScan(std::uint64_t generation);

    // The content hash (40 lower-case hex digits) of the regular file at
    // `path`, which the caller found with `status`. `notFound` when the file
    // vanished, another error when it cannot be read; failures are not logged.
    [[nodiscard]] std::expected<std::string, Platform::FileSystemError> hash(const std::string& path,
        const Platform::ItemStat& status, std::uint64_t generation);

    // The remembered hash of the regular file the caller found with
    // `status`, without reading anything; nothing when none is remembered.
    [[nodiscard]] std::optional<std::string> rememberedHash(const Platform::ItemStat& status,
        std::uint64_t generation);

    // Remembers `hexHash` for the regular file at `path` that the engine
    // itself has just placed with that content and the modification time
    // `modified` (a download), so the next scan does not read it again.
    // Nothing when the file's modification time differs (it changed since),
    // or `hexHash` is no SHA-1 in hex.
    void learn(const std::string& path, std::string_view hexHash, Platform::FileTime modified);

    // How many entries are remembered.
    [[nodiscard]] std::size_t size() const;
    // How many files were read (not answered from memory) since creation.
    [[nodiscard]] std::uint64_t readCount() const { return m_readCount.load(std::memory_order_relaxed); }

private:
    using Digest = std::array<std::uint8_t, 20>;
    // The cache holds an entry per file of the tree between scans: with a
    // 32-bit generation an entry's node takes 80 bytes instead of 96. A
    // generation past the 32-bit range is kept as the largest one, so that
    // such entries only ever look older than they are (and are read again).
    struct Entry {
        Digest digest {};
        std::uint32_t generation = 0;
    };
    [[nodiscard]] static std::uint32_t entryGeneration(std::uint64_t generation)
    {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(generation, UINT32_MAX));
    }
    static_assert(sizeof(Entry) == 24);

    explicit ContentHashCache(Options options)
        : m_options(options)
    {
    }

    [[nodiscard]] bool lookup(const Platform::ContentHashKey& key, std::uint64_t generation, Digest& digest);
    void remember(const Platform::ContentHashKey& key, const Digest& digest, std::uint64_t generation);

    Options m_options;
    mutable std::mutex m_mutex;
    std::unordered_map<Platform::ContentHashKey, Entry> m_entries;
    std::uint64_t m_nextGeneration = 1;
    std::atomic<std::uint64_t> m_readCount { 0 };
};

} // namespace Sync
