#include "Platform/Foundation/Hashing.hpp"

#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/Unicode.hpp"

namespace Platform {

std::string QVStringByApplyingSha1ToData(std::span<const std::uint8_t> bytes)
{
    return sha1Hex(bytes);
}

std::string QVStringByApplyingSha1ToData(const Data& data)
{
    return sha1Hex(data.bytes());
}

std::string hashed(const Data& data)
{
    return QVStringByApplyingSha1ToData(data);
}

std::optional<std::string> hashed(std::string_view text)
{
    if (!isValidUTF8(text))
        return std::nullopt;
    return sha1Hex(text);
}

std::optional<std::string> hashed(const URL& fileURL)
{
    if (!fileURL.isFileURL())
        return std::nullopt;
    // Streamed rather than mapped: the memory used stays flat for large files,
    // and a file that shrinks while it is read cannot fault the process.
    auto digest = Digest::ofFile(Digest::Algorithm::SHA1, fileURL.path());
    if (!digest)
        return std::nullopt;
    return hexString(*digest);
}

} // namespace Platform
