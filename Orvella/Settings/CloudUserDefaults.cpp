#include "Orvella/Settings/CloudUserDefaults.hpp"

#include "Platform/Foundation/Log.hpp"

#include <filesystem>

namespace Orvella {

namespace {

void write(Platform::UserDefaults& defaults, CloudUserDefaultsKey key, Platform::UserDefaults::Value value)
{
    auto written = defaults.set(rawValue(key), std::move(value));
    if (!written)
        Platform::Log::failure("Einstellung " + std::string(rawValue(key)) + " nicht gespeichert: " + written.error().message());
}

std::optional<Platform::URL> folderFromPath(const std::optional<std::string>& path)
{
    if (!path || path->empty() || !path->starts_with('/'))
        return std::nullopt;
    return Platform::URL::fileURL(*path, Platform::URL::IsDirectory::Yes);
}

} // namespace

bool CloudUserDefaults::boolValue(const Platform::UserDefaults& defaults, CloudUserDefaultsKey key)
{
    return defaults.boolValue(rawValue(key));
}

std::optional<std::string> CloudUserDefaults::string(const Platform::UserDefaults& defaults, CloudUserDefaultsKey key)
{
    return defaults.string(rawValue(key));
}

std::optional<Platform::URL> CloudUserDefaults::folderURL(const Platform::UserDefaults& defaults, CloudUserDefaultsKey key)
{
    return folderFromPath(string(defaults, key));
}

std::string CloudUserDefaults::storedPath(const Platform::URL& url)
{
    auto path = std::filesystem::path(url.standardized().path()).lexically_normal().string();
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    return path;
}

void CloudUserDefaults::set(Platform::UserDefaults& defaults, CloudUserDefaultsKey key, bool value)
{
    if (boolValue(defaults, key) != value)
        write(defaults, key, value);
}

void CloudUserDefaults::set(Platform::UserDefaults& defaults, CloudUserDefaultsKey key, const std::optional<std::string>& value)
{
    // A stored value of another type counts as different from every string.
    auto stored = defaults.object(rawValue(key));
    if (!value) {
        if (stored)
            write(defaults, key, Platform::UserDefaults::Value());
        return;
    }
    if (!stored || !stored->is_string() || stored->get<std::string>() != *value)
        write(defaults, key, *value);
}

void CloudUserDefaults::set(Platform::UserDefaults& defaults, CloudUserDefaultsKey key, const std::optional<Platform::URL>& value)
{
    set(defaults, key, value ? std::optional<std::string>(storedPath(*value)) : std::nullopt);
}

Reactive::SignalProducer<bool, Reactive::NoError> CloudUserDefaults::boolProducer(
    const Platform::UserDefaults& defaults, CloudUserDefaultsKey key)
{
    return defaults.producer(std::string(rawValue(key)))
        .map([](std::optional<Platform::UserDefaults::Value>&& value) {
            return value && value->is_boolean() && value->get<bool>();
        })
        .skipRepeats();
}

Reactive::SignalProducer<std::optional<std::string>, Reactive::NoError> CloudUserDefaults::stringProducer(
    const Platform::UserDefaults& defaults, CloudUserDefaultsKey key)
{
    return defaults.producer(std::string(rawValue(key)))
        .map([](std::optional<Platform::UserDefaults::Value>&& value) -> std::optional<std::string> {
            if (!value || !value->is_string())
                return std::nullopt;
            return value->get<std::string>();
        })
        .skipRepeats();
}

Reactive::SignalProducer<std::optional<Platform::URL>, Reactive::NoError> CloudUserDefaults::folderURLProducer(
    const Platform::UserDefaults& defaults, CloudUserDefaultsKey key)
{
    return stringProducer(defaults, key).map([](std::optional<std::string>&& path) { return folderFromPath(path); }).skipRepeats();
}

void CloudUserDefaults::registerCloudDefaults(Platform::UserDefaults& defaults)
{
    defaults.registerDefaults(cloudUserDefaultsKeyDefaults());
}

} // namespace Orvella
