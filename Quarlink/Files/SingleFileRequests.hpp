#pragma once

#include "Quarlink/Files/EtagResponse.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <cstdint>
#include <string>

namespace Quarlink {

// What the service knows of one file or folder: GET "files/<id>".
struct GetFileRequest {
    using SuccessValue = CloudMetaPackage<File>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true };

    std::int64_t fileID { 0 };

    [[nodiscard]] std::string path() const { return "files/" + std::to_string(fileID); }
};

// The same resource, of which only the identifier and etag are read.
struct EtagRequest {
    using SuccessValue = CloudMetaPackage<EtagResponse>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true };

    std::int64_t fileID { 0 };

    [[nodiscard]] std::string path() const { return "files/" + std::to_string(fileID); }
};

} // namespace Quarlink
