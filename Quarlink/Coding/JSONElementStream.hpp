#pragma once

#include "Quarlink/Coding/DecodingError.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <expected>
#include <functional>
#include <string_view>

namespace Quarlink {

using JSON = nlohmann::json;

// Parses a JSON document as `JSONDecoder::parse` does (the same strictness,
// the same error for malformed bytes), except that each element of the array
// under the top-level key `key` is handed to `element` as soon as it is
// complete and then dropped: a document with a list of 100,000 records never
// exists as one tree. In the returned document that array is left empty; a
// value under `key` that is no array stays as it is, and nothing is streamed.
// `element` gets each element with its index, in order (a document that
// repeats the key starts again at 0).
[[nodiscard]] std::expected<JSON, DecodingError> parseStreamingElements(std::string_view text, std::string_view key,
    const std::function<void(JSON&& element, std::size_t index)>& element);

} // namespace Quarlink
