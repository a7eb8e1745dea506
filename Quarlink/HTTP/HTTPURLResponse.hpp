#pragma once

// Quarlink/HTTP: the HTTP response as the client library sees it, independent
// of the transport that received it.

#include "Platform/Foundation/URL.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Quarlink {

// The head of an HTTP response: the URL it answers, its status code and its
// header fields in the order they arrived. A plain value, safe to copy to and
// read on any thread.
//
// Header names are compared without regard to letter case, as HTTP defines them
// (HTTP/2 sends every name in lower case).
//
// The thin view of the transport's `Platform::HTTPResponseHead`: the same status
// and fields, with the URL parsed (made by `httpURLResponse`,
// Quarlink/Errors/TransportErrors.hpp), so that the library's models do not
// depend on the transport's types.
class HTTPURLResponse {
public:
    using HeaderFields = std::vector<std::pair<std::string, std::string>>;

    HTTPURLResponse(Platform::URL url, int statusCode, HeaderFields headerFields);

    [[nodiscard]] const Platform::URL& url() const { return m_url; }
    [[nodiscard]] int statusCode() const { return m_statusCode; }
    [[nodiscard]] const HeaderFields& headerFields() const { return m_headerFields; }

    // The value of the named field, found without regard to letter case. A field
    // sent more than once gives its values joined by ", " in arrival order;
    // absent when no field has that name.
    [[nodiscard]] std::optional<std::string> value(std::string_view headerField) const;

    friend bool operator==(const HTTPURLResponse&, const HTTPURLResponse&) = default;

private:
    Platform::URL m_url;
    int m_statusCode { 0 };
    HeaderFields m_headerFields;
};

// ASCII case-insensitive equality, as header names are compared.
[[nodiscard]] bool equalsIgnoringASCIICase(std::string_view left, std::string_view right);

} // namespace Quarlink
