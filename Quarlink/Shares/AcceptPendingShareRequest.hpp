#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Shares/PrivateShare.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace Quarlink {

// Accepts a pending share: PUT "shares/accept" with "share_id" and, only
// when given, "target_parent_folder_id" (the folder it appears in) and
// "target_folder_name" (the name it appears under); an absent one is left
// out, never sent as null. The answer is the accepted share.
struct AcceptPendingShareRequest {
    using SuccessValue = CloudMetaPackage<PrivateShare>;
    static constexpr RequestTraits traits {
        .body = BodyKind::ownJSON,
        .needsAuthentication = true,
        .enveloped = true,
        .overrides = { RequestMember::method },
    };

    std::int64_t shareID { 0 };
    std::optional<std::int64_t> targetParentFolderID;
    std::optional<std::string> targetFolderName;

    explicit AcceptPendingShareRequest(std::int64_t shareID, std::optional<std::int64_t> folderID = std::nullopt,
        std::optional<std::string> shareName = std::nullopt)
        : shareID(shareID)
        , targetParentFolderID(folderID)
        , targetFolderName(std::move(shareName))
    {
    }

    [[nodiscard]] std::string path() const { return "shares/accept"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::put; }
    void encode(JSONObjectWriter& writer) const;
};

} // namespace Quarlink
