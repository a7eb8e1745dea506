#pragma once

#include "Shared/CloudUserDefaultsKey.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Platform/Foundation/UserDefaults.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <optional>
#include <string>

namespace Orvella {

// Typed access to the settings suite by `CloudUserDefaultsKey`. Every setter
// writes only when the stored value differs, so an unchanged setting never
// touches the file; a failed write is logged with "❗️".
struct CloudUserDefaults {
    CloudUserDefaults() = delete;

    // The registered default applies; missing or not a Boolean reads false.
    [[nodiscard]] static bool boolValue(const Platform::UserDefaults& defaults, CloudUserDefaultsKey key);
    [[nodiscard]] static std::optional<std::string> string(const Platform::UserDefaults& defaults, CloudUserDefaultsKey key);
    // A stored absolute path as a directory file URL. Missing, empty and
    // relative paths read as nothing: they name no folder of their own.
    [[nodiscard]] static std::optional<Platform::URL> folderURL(const Platform::UserDefaults& defaults, CloudUserDefaultsKey key);

    static void set(Platform::UserDefaults& defaults, CloudUserDefaultsKey key, bool value);
    // Nothing removes the key.
    static void set(Platform::UserDefaults& defaults, CloudUserDefaultsKey key, const std::optional<std::string>& value);
    // Stores the URL's absolute path without a trailing "/" ("/" stays "/");
    // nothing removes the key.
    static void set(Platform::UserDefaults& defaults, CloudUserDefaultsKey key, const std::optional<Platform::URL>& value);

    // The current value, then every change (this process's or another's),
    // re-read with the typed reader; equal values in a row are dropped.
    [[nodiscard]] static Reactive::SignalProducer<bool, Reactive::NoError> boolProducer(
        const Platform::UserDefaults& defaults, CloudUserDefaultsKey key);
    [[nodiscard]] static Reactive::SignalProducer<std::optional<std::string>, Reactive::NoError> stringProducer(
        const Platform::UserDefaults& defaults, CloudUserDefaultsKey key);
    [[nodiscard]] static Reactive::SignalProducer<std::optional<Platform::URL>, Reactive::NoError> folderURLProducer(
        const Platform::UserDefaults& defaults, CloudUserDefaultsKey key);

    // The path form in which a folder URL is stored.
    [[nodiscard]] static std::string storedPath(const Platform::URL& url);

    // Registers the registered defaults of the shared suite.
    static void registerCloudDefaults(Platform::UserDefaults& defaults);
};

} // namespace Orvella
