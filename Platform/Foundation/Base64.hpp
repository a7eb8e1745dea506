#pragma once

#include "Platform/Foundation/Data.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace Platform {

// Standard Base64 (RFC 4648, alphabet with "+" and "/", "=" padding, no line
// breaks).
[[nodiscard]] std::string base64Encoded(std::span<const std::uint8_t> bytes);
[[nodiscard]] std::string base64Encoded(const Data& data);

// Strict decoding: the length must be a multiple of four, only alphabet
// characters, padding only at the end. Whitespace or any other deviation gives
// no value.
[[nodiscard]] std::optional<Data> base64Decoded(std::string_view text);

} // namespace Platform
