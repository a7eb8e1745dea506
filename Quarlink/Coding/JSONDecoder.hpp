#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"

#include <string_view>

namespace Quarlink {

// A type that reads itself from a whole document's text rather than from a
// parsed tree (to stream long lists): `static std::expected<T, DecodingError>
// decodeDocument(std::string_view, DateDecodingStrategy)`.
template<class T>
concept JSONDocumentDecodable = requires(std::string_view text, DateDecodingStrategy strategy) {
    { T::decodeDocument(text, strategy) } -> std::same_as<std::expected<T, DecodingError>>;
};

// Reads a whole JSON document as a typed value. A plain value: each caller
// makes its own, so no decoding sees another's settings. Safe to use from one
// thread at a time per instance.
class JSONDecoder {
public:
    // Every setting at its default: dates as seconds since 2001.
    JSONDecoder() = default;

    // A new decoder as every response is decoded: dates as seconds since 1970,
    // keys taken exactly as they stand.
    [[nodiscard]] static JSONDecoder makeDefault();

    [[nodiscard]] DateDecodingStrategy dateDecodingStrategy() const { return m_dateStrategy; }
    void setDateDecodingStrategy(DateDecodingStrategy strategy) { m_dateStrategy = strategy; }

    // The document as T (see `JSONValueReader::decode`). Bytes that are no
    // JSON, invalid UTF-8 and an empty body are `dataCorrupted`. A type that
    // decodes from the text itself does so, with the same results.
    template<class T>
    [[nodiscard]] std::expected<T, DecodingError> decode(std::string_view text) const
    {
        if constexpr (JSONDocumentDecodable<T>)
            return T::decodeDocument(text, m_dateStrategy);
        auto document = parse(text);
        if (!document)
            return std::unexpected(document.error());
        return JSONValueReader(*document, m_dateStrategy).decode<T>();
    }

    template<class T>
    [[nodiscard]] std::expected<T, DecodingError> decode(const Platform::Data& data) const
    {
        return decode<T>(data.stringView());
    }

    // The bytes as a JSON document, without decoding a type.
    [[nodiscard]] static std::expected<JSON, DecodingError> parse(std::string_view text);

private:
    DateDecodingStrategy m_dateStrategy { DateDecodingStrategy::deferredToDate };
};

} // namespace Quarlink
