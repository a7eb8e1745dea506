#pragma once

// Sync/Model: the engine's vocabulary for files wherever they come from (disk,
// stored state, server): identity, kind, the File interface and its equality,
// and content hashes.

#include "Platform/Foundation/UUID.hpp"
#include "Sync/Archive/ArchiveValue.hpp"
#include "Sync/Archive/DecodingError.hpp"

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace Sync {

// The identity of a file: `remote` carries the server's file id; `local` is a
// placeholder (a new upper-case UUID text per scanned item) for an item the
// server does not know yet. Any two local ids are equal, whatever their text,
// and hash alike; a local id never equals a remote one. A plain value.
class SyncFileID {
public:
    // A local id with a newly generated UUID text.
    SyncFileID();
    // A remote id: lets an integer literal stand for `remote(n)`.
    constexpr SyncFileID(std::int64_t remoteID)
        : m_value(remoteID)
    {
    }
    // remote(n) for a present number, a new local id otherwise.
    explicit SyncFileID(std::optional<std::int64_t> remoteID);

    [[nodiscard]] static SyncFileID local(std::string text);
    [[nodiscard]] static constexpr SyncFileID remote(std::int64_t remoteID) { return SyncFileID(remoteID); }

    [[nodiscard]] bool isLocal() const { return !std::holds_alternative<std::int64_t>(m_value); }
    [[nodiscard]] bool isRemote() const { return !isLocal(); }
    // The number of a remote id; nothing for a local one.
    [[nodiscard]] std::optional<std::int64_t> remoteID() const;
    // The text of a local id; nothing for a remote one.
    [[nodiscard]] std::optional<std::string> localText() const;

    // "Local" for every local id, "Remote(42)" for remote id 42.
    [[nodiscard]] std::string description() const;

    // Single-value coding: a local id as its text, a remote id as its integer.
    [[nodiscard]] ArchiveValue encoded() const;
    // Text gives a local id (even digits: "42" is local), an integer a remote
    // id; any other kind fails as the integer attempt does.
    [[nodiscard]] static std::expected<SyncFileID, DecodingError> decoded(const ArchiveValue& value);

    friend bool operator==(const SyncFileID& left, const SyncFileID& right);

private:
    explicit SyncFileID(std::string text)
        : m_value(std::make_shared<const std::string>(std::move(text)))
    {
    }

    // A generated local id keeps its 16 bytes and writes its text only when
    // asked: a scan makes two per item and hardly ever reads one. A text
    // given from outside is shared, so that an id stays small (every item
    // holds two).
    std::variant<std::int64_t, Platform::UUID, std::shared_ptr<const std::string>> m_value;
};

} // namespace Sync

template<>
struct std::hash<Sync::SyncFileID> {
    // Remote ids hash to their number; all local ids hash alike, as they are all equal.
    std::size_t operator()(const Sync::SyncFileID& id) const noexcept
    {
        auto remote = id.remoteID();
        return remote ? std::hash<std::int64_t>()(*remote) : std::size_t(0x6c6f63616c);
    }
};
