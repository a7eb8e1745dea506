#pragma once

// Starts a test program as a child process (posix_spawn, so no forked copy
// of the test's threads), with its standard output on a pipe.

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Platform::DatabaseTesting {

class WriterProcess {
public:
    WriterProcess(std::string program, std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), std::move(program));
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        int pipeDescriptors[2];
        EXPECT_EQ(::pipe2(pipeDescriptors, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeDescriptors[1], STDOUT_FILENO);
        int spawned = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeDescriptors[1]);
        m_output = pipeDescriptors[0];
        EXPECT_EQ(spawned, 0) << "cannot start " << argv[0];
        if (spawned != 0)
            m_pid = -1;
    }

    ~WriterProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            waitForExit();
        }
        ::close(m_output);
    }

    // The next line the child writes, or "" when it ends or `timeoutMilliseconds` passes first.
    std::string readLine(int timeoutMilliseconds)
    {
        std::string line;
        while (true) {
            pollfd descriptor {m_output, POLLIN, 0};
            if (::poll(&descriptor, 1, timeoutMilliseconds) <= 0)
                return {};
            char character;
            if (::read(m_output, &character, 1) != 1)
                return {};
            if (character == '\n')
                return line;
            line += character;
        }
    }

    void kill(int signal) { ::kill(m_pid, signal); }

    // The wait status of the ended child.
    int waitForExit()
    {
        int status = 0;
        if (m_pid > 0)
            ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
    int m_output = -1;
};

} // namespace Platform::DatabaseTesting
