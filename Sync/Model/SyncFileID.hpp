#pragma once

// Sync/Model: the engine's vocabulary for files wherever they come from (disk,
// stored state, server): identity, kind, the File interface and its equality,
// and content hashes.

#include "Platform/Foundation/UUID.hpp"
#include "Sync/Archive/ArchiveValue.hpp"
#include "Sync/Archive/DecodingError.hpp"

#include <atomic>
#include <bit>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>

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
        : m_first(static_cast<std::uint64_t>(remoteID))
        , m_second(remoteTag)
    {
    }
    SyncFileID(const SyncFileID& other) noexcept;
    SyncFileID(SyncFileID&& other) noexcept;
    SyncFileID& operator=(const SyncFileID& other) noexcept;
    SyncFileID& operator=(SyncFileID&& other) noexcept;
    constexpr ~SyncFileID()
    {
        if !consteval {
            release();
        }
    }
    // remote(n) for a present number, a new local id otherwise.
    explicit SyncFileID(std::optional<std::int64_t> remoteID);

    [[nodiscard]] static SyncFileID local(std::string text);
    [[nodiscard]] static constexpr SyncFileID remote(std::int64_t remoteID) { return SyncFileID(remoteID); }

    [[nodiscard]] bool isLocal() const { return kind() != Kind::remote; }
    [[nodiscard]] bool isRemote() const { return !isLocal(); }
    // The number of a remote id; nothing for a local one.
    [[nodiscard]] std::optional<std::int64_t> remoteID() const
    {
        if (isRemote())
            return static_cast<std::int64_t>(m_first);
        return std::nullopt;
    }
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
    explicit SyncFileID(std::string text);

    // Every record holds two ids, so an id is 16 bytes whatever its kind. A
    // generated local id keeps its UUID's bytes and writes its text only
    // when asked: a scan makes two per item and hardly ever reads one. A
    // random UUID's byte 8 always has its top bits 10 (the RFC 4122
    // variant), so that byte also tells the kinds apart: 0 for a remote id
    // (the number in `m_first`), 1 for a text given from outside (shared,
    // its address in `m_first`).
    enum class Kind : std::uint8_t { remote, text, uuid };
    static constexpr std::uint64_t remoteTag = 0;
    static constexpr std::uint64_t textTag = 1;
    struct SharedText {
        std::atomic<std::size_t> holders;
        const std::string text;
    };

    [[nodiscard]] std::uint8_t tagByte() const
    {
        return static_cast<std::uint8_t>(std::endian::native == std::endian::little ? m_second : m_second >> 56);
    }
    [[nodiscard]] Kind kind() const
    {
        auto tag = tagByte();
        return tag == remoteTag ? Kind::remote : tag == textTag ? Kind::text : Kind::uuid;
    }
    [[nodiscard]] SharedText* sharedText() const { return reinterpret_cast<SharedText*>(m_first); }
    [[nodiscard]] std::string uuidText() const;
    void hold() const noexcept;
    void release() noexcept;

    // The bytes 0-7 and 8-15 of a UUID, as stored in memory.
    std::uint64_t m_first;
    std::uint64_t m_second;
};

static_assert(sizeof(SyncFileID) == 16);

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
