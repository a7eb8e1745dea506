#pragma once

#include "Quarlink/Requests/RequestTraits.hpp"
#include "Reactive/Result.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace Quarlink {

// Ends the shares of one kind of a file: DELETE "shares/files/<fileID>" with
// "type" "private" or "public"; `all` sends no "type". Success is one empty
// value; the body is never read.
struct DeleteSharesForFileRequest {
    enum class ShareType { private_, public_, all };

    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits {
        .needsAuthentication = true,
        .overrides = { RequestMember::method, RequestMember::queryItems },
    };

    ShareType type { ShareType::all };
    std::int64_t fileID { 0 };

    DeleteSharesForFileRequest(std::int64_t fileID, ShareType type)
        : type(type)
        , fileID(fileID)
    {
    }

    [[nodiscard]] std::string path() const { return "shares/files/" + std::to_string(fileID); }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::delete_; }
    [[nodiscard]] std::vector<URLQueryItem> queryItems() const;
};

} // namespace Quarlink
