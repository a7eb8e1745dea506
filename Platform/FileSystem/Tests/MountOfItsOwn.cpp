#include "Platform/FileSystem/Tests/MountOfItsOwn.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Platform::Testing {

ChildOutcome inMountOfItsOwn(const std::string& mountPoint, const std::function<std::string()>& work,
                             const std::string& options)
{
    int report[2];
    if (::pipe(report) != 0) {
        return {true, "no pipe"};
    }
    constexpr int cannotMount = 77;
    pid_t const child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        auto say = [&report](const std::string& text) {
            for (std::size_t written = 0; written < text.size();) {
                ssize_t const count = ::write(report[1], text.data() + written, text.size() - written);
                if (count <= 0) {
                    break;
                }
                written += static_cast<std::size_t>(count);
            }
        };
        uid_t const uid = ::getuid();
        gid_t const gid = ::getgid();
        if (::unshare(CLONE_NEWNS) != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
                say("needs a mount namespace of its own");
                ::_exit(cannotMount);
            }
            auto writeMap = [](const char* file, const std::string& text) {
                int const descriptor = ::open(file, O_WRONLY | O_CLOEXEC);
                bool const written = descriptor >= 0 && ::write(descriptor, text.data(), text.size()) ==
                                                            static_cast<ssize_t>(text.size());
                if (descriptor >= 0) {
                    ::close(descriptor);
                }
                return written;
            };
            writeMap("/proc/self/setgroups", "deny");
            if (!writeMap("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1\n") ||
                !writeMap("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1\n")) {
                say("cannot map the user into its namespace");
                ::_exit(cannotMount);
            }
        }
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            say(std::string("cannot mount a tmpfs: ") + std::strerror(errno));
            ::_exit(cannotMount);
        }
        say(work());
        ::_exit(0);
    }
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        return {true, "cannot fork"};
    }
    ChildOutcome outcome;
    char buffer[4096];
    for (ssize_t count; (count = ::read(report[0], buffer, sizeof buffer)) > 0;) {
        outcome.text.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == cannotMount) {
        outcome.skipped = true;
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        outcome.text += "the child ended abnormally";
    }
    return outcome;
}

}  // namespace Platform::Testing
