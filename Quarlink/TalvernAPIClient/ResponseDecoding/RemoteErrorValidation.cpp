#include "Quarlink/TalvernAPIClient/ResponseDecoding/RemoteErrorValidation.hpp"

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"

namespace Quarlink {

std::expected<DataResponse, Reactive::AnyError> validate(const DataResponse& response)
{
    if (auto error = RemoteError::fromResponse(response.response, response.data))
        return std::unexpected(Reactive::AnyError(std::move(*error)));
    return response;
}

std::expected<DownloadResponse, Reactive::AnyError> validate(const DownloadResponse& response)
{
    if (auto error = RemoteError::fromResponse(response.response, Platform::Data()))
        return std::unexpected(Reactive::AnyError(std::move(*error)));
    if (!response.tempURL)
        return std::unexpected(Reactive::AnyError(APIClientError::invalidDownload()));
    return response;
}

std::expected<ProgressEvent<DownloadResponse>, Reactive::AnyError> validate(const ProgressEvent<DownloadResponse>& event)
{
    return event.tryMap([](const DownloadResponse& response) { return validate(response); });
}

} // namespace Quarlink
