#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace Bench {

// The program's arguments, with `filter` (a whole "--benchmark_filter=…"
// argument, kept alive by the caller) added when none was given: cases that
// take half an hour run only when named.
inline std::vector<char*> withDefaultFilter(int argc, char** argv, std::string& filter)
{
    std::vector<char*> arguments(argv, argv + argc);
    if (std::ranges::none_of(arguments, [](const char* argument) {
            return std::string_view(argument).starts_with("--benchmark_filter");
        }))
        arguments.push_back(filter.data());
    return arguments;
}

} // namespace Bench
