#include "Quarlink/Hashing/Hashing.hpp"

#include "Platform/Foundation/Digest.hpp"
#include "Quarlink/Coding/TextEncoding.hpp"

namespace Quarlink {

std::string QVStringByApplyingSha1ToData(std::span<const std::uint8_t> bytes)
{
    return Platform::sha1Hex(bytes);
}

std::optional<std::string> hashed(std::string_view text)
{
    if (!isValidUTF8(text))
        return std::nullopt;
    return Platform::sha1Hex(text);
}

std::string hashed(const Platform::Data& data)
{
    return QVStringByApplyingSha1ToData(data.bytes());
}

std::optional<std::string> hashed(const Platform::URL& fileURL)
{
    if (!fileURL.isFileURL())
        return std::nullopt;
    // Streamed rather than mapped: the memory used stays flat for large files,
    // and a file that shrinks while it is read cannot fault the process.
    auto digest = Platform::Digest::ofFile(Platform::Digest::Algorithm::SHA1, fileURL.path());
    if (!digest)
        return std::nullopt;
    return Platform::hexString(*digest);
}

} // namespace Quarlink
