#pragma once

#include "Quarlink/Files/File.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Model/HashText.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvella {

// A remote file of the API client as the sync engine's `File`. Holds only
// what the engine reads, taken over from the remote value rather than kept
// beside it: a run keeps its listing until the end, one of these per item.
// Kept to what the engine relies on: a folder's path ends with exactly one
// "/" whatever the service sent, the content hash is lower case, and the
// etag is always present. Immutable.
class RemoteSyncFile final : public Sync::File {
public:
    explicit RemoteSyncFile(Quarlink::File remote);

    [[nodiscard]] const Sync::SyncFileID& syncFileID() const override { return m_fileID; }
    [[nodiscard]] const std::string& path() const override { return m_path; }
    [[nodiscard]] const std::string& fileName() const override { return m_fileName; }
    [[nodiscard]] const Sync::SyncFileID& syncParentID() const override { return m_parentID; }
    [[nodiscard]] Platform::Date lastModifiedDate() const override { return m_lastModifiedDate; }
    [[nodiscard]] const Sync::FileType& type() const override { return m_type; }
    [[nodiscard]] const std::optional<std::string>& syncEtag() const override { return m_etag; }
    [[nodiscard]] bool hasPublicShare() const override { return m_hasPublicShare; }
    [[nodiscard]] bool hasPrivateShares() const override { return m_hasPrivateShares; }
    [[nodiscard]] std::string_view fileHash() const override { return m_fileHash.view(); }
    [[nodiscard]] std::string description() const override { return "Quarlink.File"; }

    [[nodiscard]] static Sync::FileRef make(Quarlink::File remote);
    // Element by element, order kept, nothing left out.
    [[nodiscard]] static std::vector<Sync::FileRef> make(const std::vector<Quarlink::File>& remotes);
    // The same, taking each remote value over instead of copying it, so a
    // large listing is not held twice; `remotes` is left empty.
    [[nodiscard]] static std::vector<Sync::FileRef> make(std::vector<Quarlink::File>&& remotes);

private:
    explicit RemoteSyncFile(Quarlink::File::Fields remote);

    Sync::SyncFileID m_fileID;
    Sync::SyncFileID m_parentID;
    std::string m_path;
    std::string m_fileName;
    Platform::Date m_lastModifiedDate;
    Sync::FileType m_type;
    std::optional<std::string> m_etag;
    // A listing holds one per item: the usual 40 digits stay inline.
    Sync::HashText m_fileHash;
    bool m_hasPublicShare;
    bool m_hasPrivateShares;
};

} // namespace Orvella
