#include "Sync/Disk/ContentHashCache.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Sync {

namespace {

    using Platform::FileSystemError;
    using Platform::FileSystemErrorCode;

    // Closes a descriptor on every way out.
    class Descriptor {
    public:
        explicit Descriptor(int descriptor)
            : m_descriptor(descriptor)
        {
        }
        ~Descriptor()
        {
            if (m_descriptor >= 0)
                ::close(m_descriptor);
        }
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        [[nodiscard]] int get() const { return m_descriptor; }

    private:
        int m_descriptor;
    };

    std::span<std::uint8_t> readBuffer()
    {
        // One buffer per thread: scans read tens of thousands of small files,
        // and a fresh large allocation per file would cost a mapping each.
        thread_local std::vector<std::uint8_t> buffer(256 * 1024);
        return buffer;
    }

    std::expected<Platform::ItemStat, FileSystemError> statusOf(int descriptor, const std::string& path)
    {
        struct stat status { };
        if (::fstat(descriptor, &status) != 0)
            return std::unexpected(FileSystemError::fromErrno(errno, path));
        return Platform::ItemStat::from(status);
    }

    // Reads the whole content through `descriptor` into the digest.
    std::expected<void, FileSystemError> digestContent(int descriptor, const std::string& path,
        Platform::Digest& digest)
    {
        auto buffer = readBuffer();
        for (;;) {
            auto count = ::read(descriptor, buffer.data(), buffer.size());
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                return std::unexpected(FileSystemError::fromErrno(errno, path));
            }
            if (count == 0)
                return {};
            digest.update(buffer.first(static_cast<std::size_t>(count)));
        }
    }

} // namespace

std::shared_ptr<ContentHashCache> ContentHashCache::create(Options options)
{
    return std::shared_ptr<ContentHashCache>(new ContentHashCache(options));
}

std::uint64_t ContentHashCache::beginScan()
{
    std::lock_guard lock(m_mutex);
    return m_nextGeneration++;
}

void ContentHashCache::endScan(std::uint64_t generation)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [generation](const auto& item) { return item.second.generation < generation; });
}

std::size_t ContentHashCache::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

bool ContentHashCache::lookup(const Platform::ContentHashKey& key, std::uint64_t generation, Digest& digest)
{
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(key);
    if (found == m_entries.end())
        return false;
    // The newest scan that used an entry keeps it alive.
    found->second.generation = std::max(found->second.generation, entryGeneration(generation));
    digest = found->second.digest;
    return true;
}

void ContentHashCache::remember(const Platform::ContentHashKey& key, const Digest& digest, std::uint64_t generation)
{
    std::lock_guard lock(m_mutex);
    auto& entry = m_entries[key];
    entry.digest = digest;
    entry.generation = std::max(entry.generation, entryGeneration(generation));
}

void ContentHashCache::learn(const std::string& path, std::string_view hexHash, Platform::FileTime modified)
{
    Digest digest;
    if (hexHash.size() != digest.size() * 2)
        return;
    for (std::size_t index = 0; index < digest.size(); ++index) {
        auto value = [](char digit) -> int {
            if (digit >= '0' && digit <= '9')
                return digit - '0';
            if (digit >= 'a' && digit <= 'f')
                return digit - 'a' + 10;
            return -1;
        };
        int high = value(hexHash[index * 2]), low = value(hexHash[index * 2 + 1]);
        if (high < 0 || low < 0)
            return;
        digest[index] = static_cast<std::uint8_t>(high * 16 + low);
    }
    auto status = Platform::ItemStat::of(path);
    if (!status || !status->isRegularFile() || status->modificationTime != modified)
        return;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_mutex);
        generation = m_nextGeneration - 1;
    }
    remember(Platform::ContentHashKey::from(*status), digest, generation);
}

std::optional<std::string> ContentHashCache::rememberedHash(const Platform::ItemStat& status,
    std::uint64_t generation)
{
    Digest digest;
    if (status.isRegularFile() && lookup(Platform::ContentHashKey::from(status), generation, digest))
        return Platform::hexString(digest);
    return std::nullopt;
}

std::expected<std::string, FileSystemError> ContentHashCache::hash(const std::string& path,
    const Platform::ItemStat& status, std::uint64_t generation)
{
    Digest digest;
    if (status.isRegularFile() && lookup(Platform::ContentHashKey::from(status), generation, digest))
        return Platform::hexString(digest);

    auto readStart = std::chrono::system_clock::now();
    // O_NOFOLLOW: the item may have been replaced by a link since it was
    // listed, and a link's target must never be read. O_NONBLOCK: a FIFO put
    // in its place must not block the scan; it is refused below anyway.
    Descriptor descriptor(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (descriptor.get() < 0)
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    auto before = statusOf(descriptor.get(), path);
    if (!before)
        return std::unexpected(before.error());
    if (!before->isRegularFile())
        return std::unexpected(FileSystemError::make(FileSystemErrorCode::other, path));

    // The item may have been replaced since it was listed: its own key counts.
    auto key = Platform::ContentHashKey::from(*before);
    if (lookup(key, generation, digest))
        return Platform::hexString(digest);

    ::posix_fadvise(descriptor.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    Platform::Digest sha1(Platform::Digest::Algorithm::SHA1);
    m_readCount.fetch_add(1, std::memory_order_relaxed);
    if (auto read = digestContent(descriptor.get(), path, sha1); !read)
        return std::unexpected(read.error());
    auto bytes = std::move(sha1).finish();
    std::copy_n(bytes.data(), digest.size(), digest.begin());

    auto after = statusOf(descriptor.get(), path);
    bool settled = key.changeTime + m_options.racyInterval
        <= std::chrono::time_point_cast<std::chrono::nanoseconds>(readStart);
    if (after && Platform::ContentHashKey::from(*after) == key && settled)
        remember(key, digest, generation);
    return Platform::hexString(digest);
}

} // namespace Sync
