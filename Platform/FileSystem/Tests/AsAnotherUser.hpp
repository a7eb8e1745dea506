#pragma once

// Tests about what another user may reach run the real code as that user:
// CI runs as root, and root reads, writes and changes the mode of anything.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace Platform::Testing {

// The numeric id of "nobody" and "nogroup" on Debian.
inline constexpr uid_t nobodyUser = 65534;
inline constexpr gid_t nobodyGroup = 65534;

// Runs the test under way again, in a new process of this program as the
// unprivileged user "nobody" with the environment of this one, and answers
// whether it passed there. The test tells the two runs apart by `geteuid()`.
inline bool passesAsNobody()
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    const auto program = std::filesystem::read_symlink("/proc/self/exe").string();
    pid_t child = ::fork();
    if (child == 0) {
        ::setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
        ::execlp("setpriv", "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", program.c_str(),
            filter.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace Platform::Testing
