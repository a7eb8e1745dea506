#pragma once

#include "Platform/FileSystem/ItemStat.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace Platform {

// The key under which a file's content hash may be reused without reading the
// file again: any write changes the size, the modification time or at least
// the change time (which user space cannot set back), and a replaced file has
// another inode. Two statuses with equal keys are taken to have equal content.
struct ContentHashKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    FileTime modificationTime{};
    FileTime changeTime{};

    static ContentHashKey from(const ItemStat& status)
    {
        return ContentHashKey{status.device, status.inode, status.size, status.modificationTime,
                              status.changeTime};
    }

    friend bool operator==(const ContentHashKey&, const ContentHashKey&) = default;
};

}  // namespace Platform

template <>
struct std::hash<Platform::ContentHashKey> {
    std::size_t operator()(const Platform::ContentHashKey& key) const noexcept
    {
        std::size_t seed = 0;
        auto combine = [&seed](std::uint64_t value) {
            seed ^= std::hash<std::uint64_t>{}(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        };
        combine(key.device);
        combine(key.inode);
        combine(key.size);
        combine(static_cast<std::uint64_t>(key.modificationTime.time_since_epoch().count()));
        combine(static_cast<std::uint64_t>(key.changeTime.time_since_epoch().count()));
        return seed;
    }
};
