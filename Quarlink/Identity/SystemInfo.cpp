#include "Quarlink/Identity/SystemInfo.hpp"

#include "Quarlink/Coding/TextEncoding.hpp"

#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>

namespace Quarlink {

namespace {

std::optional<std::string> fileContents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::string withoutControlCharacters(std::string_view text)
{
    std::string result;
    for (char character : text) {
        auto byte = static_cast<unsigned char>(character);
        if (byte >= 0x20 && byte != 0x7F)
            result += character;
    }
    return result;
}

// One value of an os-release line: quoted with " or ' (backslash escapes
// inside double quotes), or bare.
std::string unquoted(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        char quote = value.front();
        value = value.substr(1, value.size() - 2);
        std::string result;
        for (std::size_t index = 0; index < value.size(); ++index) {
            if (quote == '"' && value[index] == '\\' && index + 1 < value.size())
                ++index;
            result += value[index];
        }
        return result;
    }
    return std::string(value);
}

} // namespace

std::string SystemInfo::machineModel()
{
    return machineModel("/sys/class/dmi/id/product_name");
}

std::string SystemInfo::machineModel(const std::string& productNamePath)
{
    auto contents = fileContents(productNamePath);
    if (!contents)
        return {};
    return lossyUTF8(withoutControlCharacters(*contents));
}

std::string SystemInfo::systemVersion()
{
    struct stat status {};
    if (::stat("/etc/os-release", &status) == 0)
        return systemVersion("/etc/os-release");
    return systemVersion("/usr/lib/os-release");
}

std::string SystemInfo::systemVersion(const std::string& osReleasePath)
{
    auto contents = fileContents(osReleasePath);
    if (!contents)
        return {};
    std::istringstream lines(*contents);
    std::string line;
    while (std::getline(lines, line)) {
        constexpr std::string_view key = "VERSION_ID=";
        if (line.starts_with(key))
            return lossyUTF8(withoutControlCharacters(unquoted(std::string_view(line).substr(key.size()))));
    }
    return {};
}

} // namespace Quarlink
