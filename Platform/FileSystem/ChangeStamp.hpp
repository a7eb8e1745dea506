#pragma once

#include "Platform/FileSystem/ItemStat.hpp"

#include <cstdint>

namespace Platform {

// What changes whenever anything about an item changes: a write of its
// content or of any of its attributes, extended ones included, and a rename
// (the file systems of this platform set the change time then) give a new
// change time, which user space cannot set back; a replaced item has
// another inode. Two equal stamps are taken for an unchanged item, except
// for changes within one timestamp tick: whoever relies on a stamp trusts
// only values read some time after the item's last change.
struct ChangeStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    FileTime changeTime {};

    static ChangeStamp from(const ItemStat& status) { return { status.device, status.inode, status.changeTime }; }

    friend bool operator==(const ChangeStamp&, const ChangeStamp&) = default;
};

} // namespace Platform
