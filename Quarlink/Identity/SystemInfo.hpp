#pragma once

#include <string>

namespace Quarlink {

// Facts about the machine, read afresh on every call (nothing is cached) from
// any thread. A fact that cannot be read is the empty string; none of these
// report an error.
class SystemInfo {
public:
    // The system's name wherever the service is told the platform.
    static constexpr const char* systemName = "Linux";

    // The machine model from the firmware's product name (DMI), without line
    // breaks or other control characters; ill-formed UTF-8 is replaced.
    [[nodiscard]] static std::string machineModel();
    [[nodiscard]] static std::string machineModel(const std::string& productNamePath);

    // The distribution's version ("12") from VERSION_ID in /etc/os-release,
    // or /usr/lib/os-release when the first does not exist.
    [[nodiscard]] static std::string systemVersion();
    [[nodiscard]] static std::string systemVersion(const std::string& osReleasePath);
};

} // namespace Quarlink
