#pragma once

#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "Platform/Network/URLSession.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <random>
#include <unistd.h>

namespace Platform::Testing {

using namespace std::chrono_literals;

// A private temporary folder, the local service on loopback over it, and a
// session whose downloads land in a folder of their own.
class LoopbackServiceFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_root = std::filesystem::temp_directory_path()
            / ("network-tests-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_root / "downloads");
        auto started = LocalCloud::LocalCloudServer::start({ .dataFolder = m_root / "data", .testControls = true });
        ASSERT_TRUE(started.has_value()) << started.error();
        m_server = std::move(*started);
        m_session = makeSession();
    }

    void TearDown() override
    {
        m_session.reset();
        m_server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    std::shared_ptr<URLSession> makeSession(std::chrono::seconds idleTimeout = 30s,
        std::shared_ptr<URLSessionDelegate> delegate = nullptr)
    {
        URLSessionConfiguration configuration;
        configuration.idleTimeout = idleTimeout;
        configuration.temporaryDirectory = downloadFolder();
        return URLSession::create(configuration, std::move(delegate));
    }

    std::filesystem::path downloadFolder() const { return m_root / "downloads"; }
    std::string url(const std::string& path) const { return m_server->baseURL() + path; }

    static std::string randomBytes(std::size_t count, unsigned seed)
    {
        std::mt19937 generator(seed);
        std::string bytes(count, '\0');
        for (auto& byte : bytes)
            byte = static_cast<char>(generator() & 0xff);
        return bytes;
    }

    static void writeFile(const std::filesystem::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static std::string readFile(const std::filesystem::path& path)
    {
        std::ifstream stream(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(stream), {});
    }

    bool downloadFolderIsEmpty() const { return std::filesystem::is_empty(downloadFolder()); }

    // Runs a data task to its end; fails the test when it does not end in time.
    std::expected<DataTaskResponse, TransportError> perform(URLRequest request, std::shared_ptr<URLSession> session = nullptr)
    {
        auto promise = std::make_shared<std::promise<std::expected<DataTaskResponse, TransportError>>>();
        auto future = promise->get_future();
        auto task = (session ? session : m_session)->dataTask(std::move(request),
            [promise](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) {
                promise->set_value(std::move(result));
            });
        task->resume();
        if (future.wait_for(20s) != std::future_status::ready) {
            ADD_FAILURE() << "task did not complete";
            return std::unexpected(TransportError(TransportError::Code::unknown, 0, "test deadline"));
        }
        return future.get();
    }

    std::filesystem::path m_root;
    std::unique_ptr<LocalCloud::LocalCloudServer> m_server;
    std::shared_ptr<URLSession> m_session;
};

} // namespace Platform::Testing
