#include "Quarlink/Session/CreateLoginHashRequest.hpp"

#include "Quarlink/Coding/JSONDecoder.hpp"

namespace Quarlink {

std::expected<LoginHashRequestResponse::URLSWrapper, DecodingError> LoginHashRequestResponse::URLSWrapper::decode(
    const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto login = object->decode<Platform::URL>("login");
    if (!login)
        return std::unexpected(login.error());
    return URLSWrapper { std::move(*login) };
}

std::expected<LoginHashRequestResponse, DecodingError> LoginHashRequestResponse::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto urls = object->decode<URLSWrapper>("urls");
    if (!urls)
        return std::unexpected(urls.error());
    return LoginHashRequestResponse { std::move(*urls) };
}

std::expected<Platform::URL, Reactive::AnyError> CreateLoginHashRequest::parse(const DataResponse& response) const
{
    auto decoded = JSONDecoder::makeDefault().decode<LoginHashRequestResponse>(response.data);
    if (!decoded)
        return std::unexpected(Reactive::AnyError(std::move(decoded.error())));
    return std::move(decoded->urls.login);
}

} // namespace Quarlink
