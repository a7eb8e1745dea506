#include "Quarlink/Envelope/RequestErrorInfo.hpp"

#include "Quarlink/Coding/DecodingError.hpp"
#include "Quarlink/Coding/TextEncoding.hpp"
#include "Quarlink/Errors/RemoteError.hpp"

namespace Quarlink {

namespace {

std::string requestPart(const Platform::URLRequest& request)
{
    std::string text = "Request: " + request.method + " " + (request.url.empty() ? "unbekannt" : request.url) + "\n";
    if (!request.body.empty() && isValidUTF8(request.body))
        text += request.body + "\n";
    return text;
}

} // namespace

std::optional<RequestErrorInfo> RequestErrorInfo::make(const std::optional<Platform::URLRequest>& request,
    const Reactive::AnyError& error)
{
    std::string text = request ? requestPart(*request) : std::string();
    if (const auto* decoding = error.as<DecodingError>()) {
        auto description = decoding->description();
        text += "\n" + (description.empty() ? std::string("No Error Description") : description);
        return RequestErrorInfo { std::move(text), -2 };
    }
    const auto* remote = error.as<RemoteError>();
    if (!remote || remote->errorCase() != RemoteError::Case::requestFailed || !remote->response())
        return std::nullopt;
    std::string body;
    if (remote->body() && isValidUTF8(remote->body()->stringView()))
        body = remote->body()->toString();
    text += "\nResponse: HTTP-" + std::to_string(remote->response()->statusCode()) + "\n" + body + "\n\nMessage: "
        + remote->message().value_or("");
    return RequestErrorInfo { std::move(text), remote->code().value_or(-1) };
}

} // namespace Quarlink
