#include "Platform/Network/Tests/LoopbackServiceFixture.hpp"
#include "LocalCloud/LoopbackPorts.hpp"

#include <csignal>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

extern char** environ;

using namespace Platform;
using namespace std::chrono_literals;

TEST(LocalCloudProgramTests, ServesAFolderUntilTerminated)
{
    // Proves the program serves the given folder on the given loopback port and ends cleanly on SIGTERM.
    auto folder = std::filesystem::temp_directory_path() / ("localcloud-program-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "content");
    std::ofstream(folder / "content" / "3", std::ios::binary) << "three";
    int port = LocalCloud::unusedLoopbackPort();
    std::string portText = std::to_string(port);
    std::string folderText = folder.string();
    char* argv[] = { const_cast<char*>(LOCALCLOUD_PROGRAM), portText.data(), folderText.data(), nullptr };
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, LOCALCLOUD_PROGRAM, nullptr, nullptr, argv, environ), 0);

    auto session = URLSession::create({});
    const std::string url = "http://127.0.0.1:" + portText + "/v2.0/files/3/download";
    std::optional<std::string> body;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!body && std::chrono::steady_clock::now() < deadline) {
        std::promise<std::optional<std::string>> done;
        auto task = session->dataTask({ .url = url },
            [&](URLSessionTask&, std::expected<DataTaskResponse, URLError> result) {
                done.set_value(result ? std::optional(result->data) : std::nullopt);
            });
        task->resume();
        body = done.get_future().get();
    }
    EXPECT_EQ(body, "three");
    session.reset();

    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
