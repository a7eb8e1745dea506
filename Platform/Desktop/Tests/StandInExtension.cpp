#include "Platform/Desktop/Tests/StandInExtension.hpp"

#include "Platform/Foundation/UserDefaultsFile.hpp"

namespace Platform::Testing {

std::filesystem::path installStandInExtension(const std::filesystem::path& folder, const std::string& relativePath)
{
    auto target = folder / relativePath;
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(DESKTOP_TEST_EXTENSION, target);
    std::filesystem::permissions(target, std::filesystem::perms::owner_all);
    return target;
}

bool isProcessAlive(pid_t pid)
{
    auto status = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
    if (!status || !*status)
        return false;
    auto close = (*status)->rfind(')');
    return close != std::string::npos && close + 2 < (*status)->size() && (**status)[close + 2] != 'Z';
}

} // namespace Platform::Testing
