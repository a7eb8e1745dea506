#include "Platform/Foundation/UserFolders.hpp"

#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace Platform {

std::filesystem::path homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry { };
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir
        && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

std::filesystem::path baseDirectory(BaseDirectory kind)
{
    const char* variable = kind == BaseDirectory::data ? "XDG_DATA_HOME" : kind == BaseDirectory::config ? "XDG_CONFIG_HOME" : "XDG_STATE_HOME";
    if (const char* value = std::getenv(variable); value && *value == '/')
        return value;
    auto home = homeDirectory();
    if (home.empty())
        return {};
    return home / (kind == BaseDirectory::data ? ".local/share" : kind == BaseDirectory::config ? ".config" : ".local/state");
}

} // namespace Platform
