#include "Quarlink/TalvernAPIClient/ResponseDecoding/RemoteErrorValidation.hpp"

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"

namespace Quarlink {

namespace {

std::optional<Reactive::AnyError> failureOf(const DataResponse& response)
{
    if (auto error = RemoteError::fromResponse(response.response, response.data))
        return Reactive::AnyError(std::move(*error));
    return std::nullopt;
}

std::optional<Reactive::AnyError> failureOf(const DownloadResponse& response)
{
    if (auto error = RemoteError::fromResponse(response.response, Platform::Data()))
        return Reactive::AnyError(std::move(*error));
    if (!response.tempURL)
        return Reactive::AnyError(APIClientError::invalidDownload());
    return std::nullopt;
}

} // namespace

std::expected<DataResponse, Reactive::AnyError> validate(const DataResponse& response)
{
    if (auto failure = failureOf(response))
        return std::unexpected(std::move(*failure));
    return response;
}

std::expected<DataResponse, Reactive::AnyError> validate(DataResponse&& response)
{
    if (auto failure = failureOf(response))
        return std::unexpected(std::move(*failure));
    return std::move(response);
}

std::expected<DownloadResponse, Reactive::AnyError> validate(const DownloadResponse& response)
{
    if (auto failure = failureOf(response))
        return std::unexpected(std::move(*failure));
    return response;
}

std::expected<DownloadResponse, Reactive::AnyError> validate(DownloadResponse&& response)
{
    if (auto failure = failureOf(response))
        return std::unexpected(std::move(*failure));
    return std::move(response);
}

std::expected<ProgressEvent<DownloadResponse>, Reactive::AnyError> validate(const ProgressEvent<DownloadResponse>& event)
{
    return event.tryMap([](const DownloadResponse& response) { return validate(response); });
}

} // namespace Quarlink
