#include "LocalCloud/Secrets/PasswordHash.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <stdexcept>
#include <vector>

namespace LocalCloud {

namespace {

constexpr std::size_t saltLength = 16;
constexpr std::size_t hashLength = 32;

std::vector<std::uint8_t> bytesFromHex(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    auto digit = [](char character) -> int {
        if (character >= '0' && character <= '9')
            return character - '0';
        if (character >= 'a' && character <= 'f')
            return character - 'a' + 10;
        return -1;
    };
    for (std::size_t index = 0; index + 1 < hex.size(); index += 2) {
        int high = digit(hex[index]);
        int low = digit(hex[index + 1]);
        if (high < 0 || low < 0)
            return {};
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::array<std::uint8_t, hashLength> derive(const std::string& password, const std::vector<std::uint8_t>& salt,
    std::int64_t iterations)
{
    std::array<std::uint8_t, hashLength> derived {};
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
            static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha256(), static_cast<int>(derived.size()),
            derived.data())
        != 1)
        throw std::runtime_error("PBKDF2 failed");
    return derived;
}

} // namespace

PasswordHash PasswordHash::make(const std::string& password, std::int64_t iterations)
{
    std::vector<std::uint8_t> salt(saltLength);
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1)
        throw std::runtime_error("no random bytes for a salt");
    auto derived = derive(password, salt, iterations);
    return { Platform::hexString(salt), Platform::hexString(derived), iterations };
}

bool PasswordHash::matches(const std::string& password, const std::string& salt, const std::string& hash,
    std::int64_t iterations)
{
    auto saltBytes = bytesFromHex(salt);
    auto expected = bytesFromHex(hash);
    if (saltBytes.empty() || expected.size() != hashLength || iterations <= 0 || iterations > INT32_MAX)
        return false;
    auto derived = derive(password, saltBytes, iterations);
    return CRYPTO_memcmp(derived.data(), expected.data(), hashLength) == 0;
}

} // namespace LocalCloud
