#include "Quarlink/Files/URLContentProperties.hpp"

#include "Platform/FileSystem/ItemStat.hpp"
#include "Platform/FileSystem/MimeTypeDatabase.hpp"

namespace Quarlink {

namespace {

std::optional<Platform::ItemStat> status(const Platform::URL& url)
{
    if (!url.isFileURL())
        return std::nullopt;
    auto result = Platform::ItemStat::ofTarget(url.path());
    if (!result)
        return std::nullopt;
    return *result;
}

} // namespace

std::optional<std::string> contentType(const Platform::URL& url)
{
    auto item = status(url);
    if (!item || item->isDirectory())
        return std::nullopt;
    return Platform::MimeTypeDatabase::shared().lookup(url.lastPathComponent());
}

std::string contentTypeOrDefault(const Platform::URL& url)
{
    return contentType(url).value_or(std::string(defaultContentType));
}

bool isReachable(const Platform::URL& url)
{
    return status(url).has_value();
}

bool isDirectory(const Platform::URL& url)
{
    auto item = status(url);
    return item && item->isDirectory();
}

std::optional<std::int64_t> size(const Platform::URL& url)
{
    auto item = status(url);
    if (!item || item->isDirectory())
        return std::nullopt;
    return static_cast<std::int64_t>(item->size);
}

} // namespace Quarlink
