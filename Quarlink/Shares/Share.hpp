#pragma once

#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Shares/PrivateShare.hpp"
#include "Quarlink/Shares/PublicShare.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <variant>

namespace Quarlink {

// One share of either kind. In JSON a flat object: "type" beside the keys of
// the share itself. A plain value.
class Share {
public:
    enum class Case { public_, private_ };

    [[nodiscard]] static Share public_(PublicShare share) { return Share(std::move(share)); }
    [[nodiscard]] static Share private_(PrivateShare share) { return Share(std::move(share)); }

    // "type" must be a string; exactly "public" (case-sensitive) reads a public
    // link, anything else a private share, from the same object.
    [[nodiscard]] static std::expected<Share, DecodingError> decode(const JSONValueReader& reader);

    [[nodiscard]] Case shareCase() const { return m_share.index() == 0 ? Case::public_ : Case::private_; }
    [[nodiscard]] bool isPublic() const { return shareCase() == Case::public_; }
    [[nodiscard]] bool isPrivate() const { return shareCase() == Case::private_; }
    [[nodiscard]] std::int64_t shareID() const;
    [[nodiscard]] std::int64_t fileID() const;
    // The payload of the one case; absent for the other.
    [[nodiscard]] std::optional<PublicShare> publicShare() const;
    [[nodiscard]] std::optional<PrivateShare> privateShare() const;

    // Same case and equal payloads.
    friend bool operator==(const Share&, const Share&) = default;

private:
    explicit Share(PublicShare share)
        : m_share(std::move(share))
    {
    }
    explicit Share(PrivateShare share)
        : m_share(std::move(share))
    {
    }

    std::variant<PublicShare, PrivateShare> m_share;
};

} // namespace Quarlink
