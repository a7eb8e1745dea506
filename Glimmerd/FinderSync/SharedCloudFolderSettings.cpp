#include "Glimmerd/FinderSync/SharedCloudFolderSettings.hpp"

#include "Platform/Foundation/Log.hpp"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace Glimmerd {

SharedCloudFolderSettings::SharedCloudFolderSettings(std::filesystem::path settingsFile)
    : m_settingsFile(std::move(settingsFile))
{
}

std::optional<std::string> SharedCloudFolderSettings::cloudFolderURL() const
{
    std::ifstream file(m_settingsFile, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    auto settings = nlohmann::json::parse(text.str(), nullptr, false);
    if (settings.is_discarded() || !settings.is_object()) {
        Platform::Log::failure("Die Einstellungen in " + m_settingsFile.string() + " sind nicht lesbar.");
        return std::nullopt;
    }
    auto value = settings.find("CloudFolderURL");
    if (value == settings.end() || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

} // namespace Glimmerd
