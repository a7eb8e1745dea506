#include "Orvella/Tracking/BITMetricsManager.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Orvella {

std::filesystem::path BITMetricsManager::defaultLogFile(std::string_view applicationIdentifier)
{
    return Platform::baseDirectory(Platform::BaseDirectory::state) / std::string(applicationIdentifier) / "usage.log";
}

void BITMetricsManager::trackEventWithName(std::string_view name)
{
    std::error_code error;
    auto folder = m_logFile.parent_path();
    if (!std::filesystem::is_directory(folder, error)) {
        std::filesystem::create_directories(folder, error);
        ::chmod(folder.c_str(), 0700);
    }
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    auto line = nlohmann::json { { "event", name }, { "time", seconds } }.dump() + "\n";
    // One write of a whole line with O_APPEND, so two processes never interleave lines.
    int descriptor = ::open(m_logFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0 || ::write(descriptor, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        Platform::Log::failure("Das Nutzungsprotokoll " + m_logFile.string() + " kann nicht geschrieben werden: " + std::strerror(errno));
    if (descriptor >= 0)
        ::close(descriptor);
}

} // namespace Orvella
