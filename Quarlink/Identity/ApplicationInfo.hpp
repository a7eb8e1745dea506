#pragma once

// Quarlink/Identity: who is calling (the running application, the machine,
// the user agent) and with which login.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace Quarlink {

// The facts that describe the running application, under the keys the library
// reads. The process has no bundle to ask, so the application fills this
// registry once at start from its build settings; a test fills it as it needs.
// Values are JSON values so that a value of the wrong type can be told from a
// missing one. Thread-safe; reads see the latest completed write.
class ApplicationInfo {
public:
    // The program's executable name.
    static constexpr std::string_view executableKey = "CFBundleExecutable";
    // The application's identifier.
    static constexpr std::string_view identifierKey = "CFBundleIdentifier";
    // The short version shown to users ("2.4").
    static constexpr std::string_view shortVersionKey = "CFBundleShortVersionString";
    // The text of the "X-Client" request header.
    static constexpr std::string_view clientHeaderKey = "QVClientHeader";

    // What the application knows from its build; absent values stay unset.
    struct Values {
        // The executable name.
        std::optional<std::string> executable;
        // The application identifier.
        std::optional<std::string> identifier;
        // The short version.
        std::optional<std::string> shortVersion;
        // The "X-Client" header text.
        std::optional<std::string> clientHeader;
    };

    // Replaces every entry with the given values.
    static void install(const Values& values);
    static void setValue(std::string_view key, nlohmann::json value);
    static void removeValue(std::string_view key);
    // Removes every entry and the screen scale.
    static void clear();

    [[nodiscard]] static std::optional<nlohmann::json> value(std::string_view key);
    // The entry under `key` if it is a string; a value of another type counts as missing.
    [[nodiscard]] static std::optional<std::string> string(std::string_view key);

    // The backing scale of the main display, when the application knows one.
    static void setScreenScale(std::optional<double> scale);
    [[nodiscard]] static std::optional<double> screenScale();
};

} // namespace Quarlink
