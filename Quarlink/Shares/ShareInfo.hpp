#pragma once

#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Shares/Owner.hpp"
#include "Quarlink/Shares/Share.hpp"

#include <expected>
#include <vector>

namespace Quarlink {

// The share information of one file: its owner and all its shares, in the
// service's order. A plain value without equality.
struct ShareInfo {
    // "owner".
    Owner owner;
    // "shares": decoded whole or not at all.
    std::vector<Share> allShares;

    ShareInfo(Owner owner, std::vector<Share> shares)
        : owner(std::move(owner))
        , allShares(std::move(shares))
    {
    }

    [[nodiscard]] static std::expected<ShareInfo, DecodingError> decode(const JSONValueReader& reader);

    // The private shares of `allShares`, in their order; public links left out.
    [[nodiscard]] std::vector<PrivateShare> shares() const;
};

} // namespace Quarlink
