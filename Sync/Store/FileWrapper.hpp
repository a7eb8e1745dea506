#pragma once

#include "Platform/Database/DatabaseObject.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

namespace Sync {

// The stored state of one server item: a row of the database table
// "FileWrapper" (the object type's name in the file; never rename it).
//
// Invariants kept by RealmFileStore: at most one row per remote file id;
// `path` is the precomposed (NFC) form of the path inside `fileData`.
//
// Remote ids are at least 1: the row of `listingEtagKey` (empty path) is no
// item but holds, in `fileData`, the root etag of the listing the records
// were last brought in step with; the row of `uploadIntentsKey` (empty path)
// holds the uploads a run was about to send and has not recorded yet, as
// JSON text (an array of objects with "fileID", "parentID", "name" and
// "hash"), which no reader takes for a record's archive. Both live in this
// table so that whatever empties the records (logout, another account,
// another cloud folder) forgets them with them; readers of the records skip
// every row whose key is below 1.
struct FileWrapper {
    // Primary key: the number of the item's remote SyncFileID.
    std::int64_t remoteFileID = 0;
    // The item's path in the cloud folder in NFC, folders ending with "/"; used by the path lookup.
    std::string path;
    // The archive bytes of the item's FileWrapperItem dictionary, share details included.
    Platform::DatabaseBlob fileData;

    static constexpr std::int64_t listingEtagKey = 0;
    static constexpr std::int64_t uploadIntentsKey = -1;

    // Whether the row keyed `remoteFileID` is an item's record.
    [[nodiscard]] static constexpr bool isRecordKey(std::int64_t remoteFileID) { return remoteFileID >= 1; }

    static constexpr std::string_view objectTypeName = "FileWrapper";
    static constexpr auto properties()
    {
        return std::tuple { Platform::DatabaseProperty { "remoteFileID", &FileWrapper::remoteFileID },
            Platform::DatabaseProperty { "path", &FileWrapper::path },
            Platform::DatabaseProperty { "fileData", &FileWrapper::fileData } };
    }
};

} // namespace Sync
