#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Orvella {

// The two switches read from the process's arguments, read anew at every
// call. An argument counts only when a whole element equals it exactly
// (case-sensitive): "--SKIP_LETS_MOVE_TEST" or "SKIP_LETS_MOVE_TEST=1" do not.
struct LaunchArguments {
    static constexpr std::string_view skipLetsMoveTestArgument = "SKIP_LETS_MOVE_TEST";
    static constexpr std::string_view doNotShowCrashDetailsDialogueArgument = "DO_NOT_SHOW_CRASH_DETAILS_DIALOGUE";

    // The offer to move the application is not made.
    [[nodiscard]] static bool skipLetsMoveTest();
    // Crash reporting keeps its own defaults instead of sending reports unasked.
    [[nodiscard]] static bool doNotShowCrashDetailsDialogue();

    // The process's arguments, the program's path first (from /proc/self/cmdline).
    [[nodiscard]] static std::vector<std::string> processArguments();
    [[nodiscard]] static bool contains(const std::vector<std::string>& arguments, std::string_view argument);
};

} // namespace Orvella
