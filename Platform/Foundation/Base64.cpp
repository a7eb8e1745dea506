#include "Platform/Foundation/Base64.hpp"

#include <openssl/evp.h>

namespace Platform {

namespace {

bool isAlphabet(char character)
{
    return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z')
        || (character >= '0' && character <= '9') || character == '+' || character == '/';
}

} // namespace

std::string base64Encoded(std::span<const std::uint8_t> bytes)
{
    std::string text(4 * ((bytes.size() + 2) / 3), '\0');
    if (bytes.empty())
        return text;
    // EVP_EncodeBlock takes an int length; encode in chunks divisible by three.
    constexpr std::size_t chunk = 3 * 1024 * 1024;
    std::size_t written = 0;
    for (std::size_t offset = 0; offset < bytes.size(); offset += chunk) {
        std::size_t length = std::min(chunk, bytes.size() - offset);
        written += static_cast<std::size_t>(::EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data() + written),
            bytes.data() + offset, static_cast<int>(length)));
    }
    text.resize(written);
    return text;
}

std::string base64Encoded(const Data& data)
{
    return base64Encoded(data.bytes());
}

std::optional<Data> base64Decoded(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    for (std::size_t index = 0; index < text.size() - padding; ++index)
        if (!isAlphabet(text[index]))
            return std::nullopt;

    std::vector<std::uint8_t> bytes(text.size() / 4 * 3);
    constexpr std::size_t chunk = 4 * 1024 * 1024;
    std::size_t written = 0;
    for (std::size_t offset = 0; offset < text.size(); offset += chunk) {
        std::size_t length = std::min(chunk, text.size() - offset);
        int count = ::EVP_DecodeBlock(bytes.data() + written,
            reinterpret_cast<const unsigned char*>(text.data() + offset), static_cast<int>(length));
        if (count < 0)
            return std::nullopt;
        written += static_cast<std::size_t>(count);
    }
    // EVP_DecodeBlock counts the padding as zero bytes.
    bytes.resize(written - padding);
    return Data(std::move(bytes));
}

} // namespace Platform
