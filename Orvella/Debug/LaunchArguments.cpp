#include "Orvella/Debug/LaunchArguments.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace Orvella {

std::vector<std::string> LaunchArguments::processArguments()
{
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < raw.size()) {
        const auto end = raw.find('\0', start);
        const auto stop = end == std::string::npos ? raw.size() : end;
        arguments.emplace_back(raw, start, stop - start);
        start = stop + 1;
    }
    return arguments;
}

bool LaunchArguments::contains(const std::vector<std::string>& arguments, std::string_view argument)
{
    return std::ranges::any_of(arguments, [argument](const std::string& element) { return element == argument; });
}

bool LaunchArguments::skipLetsMoveTest()
{
    return contains(processArguments(), skipLetsMoveTestArgument);
}

bool LaunchArguments::doNotShowCrashDetailsDialogue()
{
    return contains(processArguments(), doNotShowCrashDetailsDialogueArgument);
}

} // namespace Orvella
