#include "Quarlink/TalvernAPIClient/ResponseDecoding/ResponseParsing.hpp"

#include "Quarlink/Coding/TextEncoding.hpp"
#include "Quarlink/Identity/ApplicationInfo.hpp"

namespace Quarlink {

std::expected<std::string, Reactive::AnyError> parseText(const Platform::Data& body)
{
    if (!isValidUTF8(body.stringView()))
        return std::unexpected(Reactive::AnyError(APIClientError::parsingError(body)));
    return body.toString();
}

std::expected<Image, Reactive::AnyError> parseImage(const Platform::Data& body)
{
    auto image = Image::create(body);
    if (!image)
        return std::unexpected(Reactive::AnyError(APIClientError::parsingError(body)));
    return std::move(*image);
}

double imageScale()
{
    return ApplicationInfo::screenScale().value_or(1.0);
}

} // namespace Quarlink
