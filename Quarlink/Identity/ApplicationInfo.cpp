#include "Quarlink/Identity/ApplicationInfo.hpp"

#include <mutex>

namespace Quarlink {

namespace {

struct Registry {
    std::mutex mutex;
    nlohmann::json dictionary = nlohmann::json::object();
    std::optional<double> screenScale;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

} // namespace

void ApplicationInfo::install(const Values& values)
{
    auto dictionary = nlohmann::json::object();
    auto put = [&](std::string_view key, const std::optional<std::string>& value) {
        if (value)
            dictionary[std::string(key)] = *value;
    };
    put(executableKey, values.executable);
    put(identifierKey, values.identifier);
    put(shortVersionKey, values.shortVersion);
    put(clientHeaderKey, values.clientHeader);
    std::lock_guard lock(registry().mutex);
    registry().dictionary = std::move(dictionary);
}

void ApplicationInfo::setValue(std::string_view key, nlohmann::json value)
{
    std::lock_guard lock(registry().mutex);
    registry().dictionary[std::string(key)] = std::move(value);
}

void ApplicationInfo::removeValue(std::string_view key)
{
    std::lock_guard lock(registry().mutex);
    registry().dictionary.erase(std::string(key));
}

void ApplicationInfo::clear()
{
    std::lock_guard lock(registry().mutex);
    registry().dictionary = nlohmann::json::object();
    registry().screenScale.reset();
}

std::optional<nlohmann::json> ApplicationInfo::value(std::string_view key)
{
    std::lock_guard lock(registry().mutex);
    auto found = registry().dictionary.find(key);
    if (found == registry().dictionary.end())
        return std::nullopt;
    return *found;
}

std::optional<std::string> ApplicationInfo::string(std::string_view key)
{
    auto found = value(key);
    if (!found || !found->is_string())
        return std::nullopt;
    return found->get<std::string>();
}

void ApplicationInfo::setScreenScale(std::optional<double> scale)
{
    std::lock_guard lock(registry().mutex);
    registry().screenScale = scale;
}

std::optional<double> ApplicationInfo::screenScale()
{
    std::lock_guard lock(registry().mutex);
    return registry().screenScale;
}

} // namespace Quarlink
