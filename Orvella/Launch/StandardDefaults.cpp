#include "Orvella/Launch/StandardDefaults.hpp"

#include <nlohmann/json.hpp>

#include <fstream>
#include <system_error>

namespace Orvella {

namespace {

nlohmann::json read(const std::filesystem::path& file)
{
    std::ifstream stream(file);
    if (!stream) {
        return nlohmann::json::object();
    }
    auto parsed = nlohmann::json::parse(stream, nullptr, false);
    return parsed.is_object() ? parsed : nlohmann::json::object();
}

} // namespace

bool StandardDefaults::boolForKey(const std::string& key) const
{
    const auto values = read(m_file);
    const auto found = values.find(key);
    return found != values.end() && found->is_boolean() && found->get<bool>();
}

bool StandardDefaults::setBool(bool value, const std::string& key)
{
    auto values = read(m_file);
    values[key] = value;
    std::error_code error;
    std::filesystem::create_directories(m_file.parent_path(), error);
    const auto temporary = m_file.string() + ".new";
    {
        std::ofstream stream(temporary, std::ios::trunc);
        stream << values.dump(2) << '\n';
        if (!stream.flush()) {
            return false;
        }
    }
    std::filesystem::rename(temporary, m_file, error);
    return !error;
}

} // namespace Orvella
