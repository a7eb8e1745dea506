#pragma once

#include <filesystem>
#include <string>

namespace Orvella {

// The application's own flags that only it reads, as a JSON object in one
// file (`$XDG_CONFIG_HOME/<application identifier>/defaults.json`). A missing
// or unreadable file reads as no flags; a write replaces the file atomically.
class StandardDefaults {
public:
    explicit StandardDefaults(std::filesystem::path file) : m_file(std::move(file)) {}

    [[nodiscard]] bool boolForKey(const std::string& key) const;
    // False when the file could not be written.
    bool setBool(bool value, const std::string& key);

    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
};

} // namespace Orvella
