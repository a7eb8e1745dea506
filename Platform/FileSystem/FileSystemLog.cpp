#include "Platform/FileSystem/FileSystemLog.hpp"

#include <iostream>
#include <mutex>
#include <string>

namespace Platform {

void logFileSystem(std::string_view line)
{
    static std::mutex mutex;
    std::string text(line);
    text += '\n';
    std::lock_guard lock(mutex);
    std::cerr << text << std::flush;
}

}  // namespace Platform
