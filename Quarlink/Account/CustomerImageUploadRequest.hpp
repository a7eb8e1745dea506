#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"
#include "Reactive/Result.hpp"

#include <string>

namespace Quarlink {

// Replaces the account's profile picture with a local file: the file at
// `fileURL` streamed as the body of PUT "profile/picture" (or whichever
// `method` is set), with `contentType` as its "Content-Type". Success is one
// empty value; the answer's body is not read.
struct CustomerImageUploadRequest {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits {
        .taskKind = TaskKind::upload,
        .needsAuthentication = true,
        .overrides = { RequestMember::method, RequestMember::contentType },
    };

    // PUT, with the file's MIME type, or "application/octet-stream" when it has none.
    explicit CustomerImageUploadRequest(Platform::URL fileURL);

    [[nodiscard]] std::string path() const { return "profile/picture"; }
    [[nodiscard]] HTTPMethod method() const { return m_method; }
    [[nodiscard]] std::string contentType() const { return m_contentType; }
    [[nodiscard]] Platform::URL fileURL() const { return m_fileURL; }

    void setMethod(HTTPMethod method) { m_method = method; }
    // Keeps the content type: it stays the one of the first file unless set too.
    void setFileURL(Platform::URL fileURL) { m_fileURL = std::move(fileURL); }
    void setContentType(std::string contentType) { m_contentType = std::move(contentType); }

private:
    HTTPMethod m_method = HTTPMethod::put;
    Platform::URL m_fileURL;
    std::string m_contentType;
};

} // namespace Quarlink
