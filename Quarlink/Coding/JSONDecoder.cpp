#include "Quarlink/Coding/JSONDecoder.hpp"

namespace Quarlink {

JSONDecoder JSONDecoder::makeDefault()
{
    JSONDecoder decoder;
    decoder.setDateDecodingStrategy(DateDecodingStrategy::secondsSince1970);
    return decoder;
}

std::expected<JSON, DecodingError> JSONDecoder::parse(std::string_view text)
{
    // The parser checks UTF-8 inside strings, so a body with invalid UTF-8 is
    // refused here like any other malformed body. Its number parsing does not
    // depend on the process locale.
    auto document = JSON::parse(text, nullptr, /* allow_exceptions */ false);
    if (document.is_discarded())
        return std::unexpected(DecodingError(DecodingError::Kind::dataCorrupted, {}, "The given data was not valid JSON."));
    return document;
}

} // namespace Quarlink
