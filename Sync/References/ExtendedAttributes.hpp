#pragma once

#include "Platform/FileSystem/ExtendedAttributes.hpp"
#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Platform/Foundation/Data.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Sync/References/QVCloudExtendedAttributes.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace Sync {

// The name of the extended attribute that binds items to remote file ids:
// "user." (the only namespace open to users on Linux), the application
// identifier, then ".attributes". Made once, on first use, and the same for
// the whole process afterwards. Thread-safe.
[[nodiscard]] const std::string& extendedAttributeName();

// The application identifier the name is made from ("Orvella" unless set).
// Only takes effect before the name is first used; answers whether it did.
bool setExtendedAttributeApplicationIdentifier(std::string applicationIdentifier);

// The binding the attribute `key` on the item at `url` (a file URL) holds
// for the item's relative path `filePath`; nothing when there is none. The
// attribute is accepted when its bookmark leads to this very item, or when
// its path hash matches `filePath`; one that fails both, holds no remote id
// or cannot be decoded is removed (registered with `ownChanges` first, when
// given). Never fails: every problem, a file system without user attributes
// included, gives nothing. Synchronous; symbolic links are never followed.
[[nodiscard]] std::optional<QVCloudExtendedAttributes> QVExtendedAttributeValueForKey(std::string_view filePath,
    const std::string& key, const Platform::URL& url,
    const Platform::ExtendedAttributes& attributes = *Platform::ExtendedAttributes::system(),
    Platform::OwnChangeRegistry* ownChanges = nullptr);

// The same for the item at the absolute disk path `path`.
[[nodiscard]] std::optional<QVCloudExtendedAttributes> QVExtendedAttributeValueAtPath(std::string_view filePath,
    const std::string& key, const std::string& path, const Platform::ExtendedAttributes& attributes,
    Platform::OwnChangeRegistry* ownChanges = nullptr);

// Writes the binding `value` as the attribute `key` of the item at `url`,
// with the item's bookmark and the hash of `value->filePath`; with no value,
// removes the attribute. Answers whether the attribute was written or
// removed: false for a URL that is not a file URL, a missing item, an item
// without identity or a write the file system refuses.
bool QVSetExtendedAttributeValue(const QVCloudExtendedAttributes* value, const std::string& key,
    const Platform::URL& url, const Platform::ExtendedAttributes& attributes = *Platform::ExtendedAttributes::system(),
    Platform::OwnChangeRegistry* ownChanges = nullptr);

// The 32-byte SHA-256 digest. For no data, logs
// "Could not create sha256 digest from data with length 0." and answers empty data.
[[nodiscard]] Platform::Data sha256(const Platform::Data* data);
[[nodiscard]] Platform::Data sha256(const Platform::Data& data);

// The hash an attribute records for a relative path: SHA-256 of its UTF-8 in
// NFC, without a folder's trailing "/", so the stored, the server's and the
// scanned spelling of one path agree.
[[nodiscard]] Platform::Data pathHash(std::string_view filePath);

} // namespace Sync
