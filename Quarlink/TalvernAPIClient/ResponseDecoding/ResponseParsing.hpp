#pragma once

#include "Quarlink/Coding/JSONDecoder.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/HTTP/TransferResponses.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Image.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"

#include <expected>
#include <string>
#include <type_traits>

namespace Quarlink {

// The body as UTF-8 text, or as an image; anything else is
// `APIClientError::parsingError` carrying the whole body.
[[nodiscard]] std::expected<std::string, Reactive::AnyError> parseText(const Platform::Data& body);
[[nodiscard]] std::expected<Image, Reactive::AnyError> parseImage(const Platform::Data& body);

// How a body in memory becomes a request's result, chosen by the result type:
// - `Reactive::Unit` (no result): the body is not read; never fails;
// - `std::string`: the body as UTF-8 text, else `APIClientError::parsingError` with the body;
// - `Image`: the body as an image, else `APIClientError::parsingError` with the body;
// - anything else: JSON decoded by a decoder made for this call (dates as
//   seconds since 1970); its `DecodingError` is passed on unchanged (an empty
//   body is `dataCorrupted`).
// The HTTP response is not consulted. Pure; any thread.
template<class SuccessValue>
[[nodiscard]] std::expected<SuccessValue, Reactive::AnyError> parseData(const DataResponse& response)
{
    if constexpr (std::is_same_v<SuccessValue, Reactive::Unit>) {
        return Reactive::Unit();
    } else if constexpr (std::is_same_v<SuccessValue, std::string>) {
        return parseText(response.data);
    } else if constexpr (std::is_same_v<SuccessValue, Image>) {
        return parseImage(response.data);
    } else {
        auto decoded = JSONDecoder::makeDefault().decode<SuccessValue>(response.data);
        if (!decoded)
            return std::unexpected(Reactive::AnyError(std::move(decoded.error())));
        return std::move(*decoded);
    }
}

// The pixels per point of the main display: the registered screen scale, else
// 1.0. Images are not scaled by it; it is offered to whoever draws them.
[[nodiscard]] double imageScale();

} // namespace Quarlink
