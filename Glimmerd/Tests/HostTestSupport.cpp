#include "Glimmerd/Tests/HostTestSupport.hpp"

#include <QCoreApplication>
#include <QEventLoop>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace GlimmerdTesting {

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "GlimmerdTests";
    static char* argv[] = { name, nullptr };
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<std::string> all { program };
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    auto spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    ProgramResult result;
    if (spawned != 0) {
        close(pipeEnds[0]);
        return result;
    }
    char chunk[4096];
    ssize_t count = 0;
    while ((count = read(pipeEnds[0], chunk, sizeof(chunk))) > 0)
        result.output.append(chunk, static_cast<std::size_t>(count));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace GlimmerdTesting
