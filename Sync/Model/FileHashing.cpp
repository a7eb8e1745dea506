#include "Sync/Model/FileHashing.hpp"

#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/Unicode.hpp"

namespace Sync {

std::string QVStringByApplyingSha1ToData(const Platform::Data& data)
{
    return Platform::sha1Hex(data.bytes());
}

std::string hashed(const Platform::Data& data)
{
    return QVStringByApplyingSha1ToData(data);
}

std::optional<std::string> hashed(std::string_view text)
{
    if (!Platform::isValidUTF8(text))
        return std::nullopt;
    return Platform::sha1Hex(text);
}

std::optional<std::string> hashed(const Platform::URL& url)
{
    if (!url.isFileURL())
        return std::nullopt;
    auto digest = Platform::Digest::ofFile(Platform::Digest::Algorithm::SHA1, url.path());
    if (!digest)
        return std::nullopt;
    return Platform::hexString(*digest);
}

} // namespace Sync
