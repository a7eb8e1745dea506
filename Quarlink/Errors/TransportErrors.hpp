#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Platform/Network/HTTPResponseHead.hpp"
#include "Platform/Network/TransportError.hpp"
#include "Quarlink/Errors/URLError.hpp"
#include "Quarlink/HTTP/HTTPURLResponse.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Error.hpp"

#include <optional>
#include <string>

namespace Quarlink {

// How a transport failure travels in the client's streams: an `AnyError`
// holding an `AnyPresentableError` of the `URLError`, so that its German texts
// reach the user and `underlyingError` gives the `URLError` back.
[[nodiscard]] Reactive::AnyError transportError(const Platform::TransportError& error);

// The response head as the library sees it. `fallbackURL` stands in when the
// transport's URL does not parse; absent when neither parses.
[[nodiscard]] std::optional<HTTPURLResponse> httpURLResponse(const Platform::HTTPResponseHead& response,
    const std::string& fallbackURL);

// The transport broke its contract: it reported neither a usable response nor
// an error. Not presentable; its description carries the message for logs.
class TransportContractError final : public Reactive::Error {
public:
    explicit TransportContractError(std::string message = {})
        : m_message(std::move(message))
    {
    }
    [[nodiscard]] std::string description() const override { return m_message; }

private:
    std::string m_message;
};

} // namespace Quarlink
