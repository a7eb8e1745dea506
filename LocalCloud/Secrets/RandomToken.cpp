#include "LocalCloud/Secrets/RandomToken.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <openssl/rand.h>

#include <array>
#include <cstdint>
#include <stdexcept>

namespace LocalCloud {

std::string randomToken()
{
    std::array<std::uint8_t, 16> bytes {};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
        throw std::runtime_error("no random bytes for a token");
    return Platform::hexString(bytes);
}

} // namespace LocalCloud
