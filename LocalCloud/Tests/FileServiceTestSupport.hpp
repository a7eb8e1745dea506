#pragma once

// Plain HTTP against the local service: one keep-alive connection per client,
// the session cookie kept by hand.

#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "LocalCloud/TestSupport/MovableClock.hpp"
#include "Platform/Foundation/Digest.hpp"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

namespace LocalCloud::Testing {

struct Answer {
    int status = 0;
    httplib::Headers headers;
    std::string body;

    [[nodiscard]] std::string header(const std::string& name) const
    {
        auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
    [[nodiscard]] std::string errorCode() const { return header("X-Error-Code"); }
    [[nodiscard]] nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
    [[nodiscard]] nlohmann::json data() const
    {
        auto parsed = json();
        return parsed.is_object() && parsed.contains("data") ? parsed["data"] : nlohmann::json();
    }
};

class ServiceClient {
public:
    explicit ServiceClient(int port)
        : m_client("127.0.0.1", port)
    {
        m_client.set_keep_alive(true);
        m_client.set_read_timeout(30, 0);
        // Decoding stays with the tests, which check what went over the wire.
        m_client.set_decompress(false);
    }

    bool logIn(const std::string& login, const std::string& password)
    {
        nlohmann::json body { { "world", "2" }, { "login", login }, { "password", password } };
        auto result = m_client.Post("/v2.0/login", body.dump(), "application/json");
        if (!result || result->status != 200)
            return false;
        auto cookie = result->get_header_value("Set-Cookie");
        m_cookie = cookie.substr(0, cookie.find(';'));
        return true;
    }

    void forgetSession() { m_cookie.clear(); }

    Answer call(const std::string& method, const std::string& path, const std::string& body = {},
        const std::string& contentType = "application/json", httplib::Headers extra = {})
    {
        httplib::Headers headers = std::move(extra);
        if (!m_cookie.empty())
            headers.emplace("Cookie", m_cookie);
        httplib::Request request;
        request.method = method;
        request.path = "/v2.0/" + path;
        request.headers = headers;
        if (!body.empty() || method == "POST" || method == "PUT") {
            request.body = body;
            request.set_header("Content-Type", contentType);
        }
        auto result = m_client.send(request);
        if (!result)
            return {};
        return { result->status, result->headers, result->body };
    }

    Answer get(const std::string& path, httplib::Headers extra = {})
    {
        return call("GET", path, {}, "application/json", std::move(extra));
    }
    Answer post(const std::string& path, const nlohmann::json& body) { return call("POST", path, body.dump()); }
    Answer put(const std::string& path, const nlohmann::json& body) { return call("PUT", path, body.dump()); }

    // Announces content as the client does; the answer's top level.
    Answer announce(std::int64_t parentID, const std::string& name, const std::string& content)
    {
        return post("files/init",
            { { "parent_file_id", parentID }, { "name", name },
                { "mime_type", name.ends_with(".png") ? "image/png" : "text/plain" }, { "created", 100 },
                { "modified", 200 }, { "hash", sha1(content) },
                { "file_size", static_cast<std::int64_t>(content.size()) } });
    }
    Answer transfer(std::int64_t identifier, const std::string& content, const std::string& requestHashValue)
    {
        return call("PUT", "files/" + std::to_string(identifier) + "/stream", content, "text/plain",
            { { "Request-Hash", requestHashValue } });
    }
    // Announcement and, when asked for, transfer: the stored file.
    nlohmann::json upload(std::int64_t parentID, const std::string& name, const std::string& content)
    {
        auto announced = announce(parentID, name, content);
        auto json = announced.json();
        if (announced.status != 200 || !json.contains("upload"))
            return json.contains("data") ? json["data"] : nlohmann::json();
        auto identifier = json["data"]["id"].get<std::int64_t>();
        return transfer(identifier, content, requestHash(parentID, name, sha1(content))).data();
    }
    nlohmann::json createFolder(std::int64_t parentID, const std::string& name)
    {
        return post("files/folders", { { "folder_name", name }, { "file_id", parentID } }).data();
    }
    nlohmann::json file(std::int64_t identifier) { return get("files/" + std::to_string(identifier)).data(); }
    std::string etag(std::int64_t identifier) { return file(identifier).value("etag", ""); }
    nlohmann::json everything() { return get("files?depth=-1").data(); }

    static std::string sha1(const std::string& content) { return Platform::sha1Hex(content); }

private:
    httplib::Client m_client;
    std::string m_cookie;
};

// A private data folder and a running service with the user anna (password "geheim").
class FileServiceFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_root = std::filesystem::temp_directory_path()
            / ("localcloud-files-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_root);
        startServer();
        m_server->accounts().addUser("anna", "geheim");
        m_client = std::make_unique<ServiceClient>(m_server->port());
        ASSERT_TRUE(m_client->logIn("anna", "geheim"));
        m_rootID = m_server->rootIdentifier("anna");
    }

    void TearDown() override
    {
        m_client.reset();
        m_server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    void startServer()
    {
        auto started = LocalCloudServer::start({ .dataFolder = dataFolder(), .testControls = true, .clock = m_clock.serviceClock() });
        ASSERT_TRUE(started.has_value()) << started.error();
        m_server = std::move(*started);
    }

    void restartServer()
    {
        m_client.reset();
        m_server.reset();
        startServer();
        m_client = std::make_unique<ServiceClient>(m_server->port());
        ASSERT_TRUE(m_client->logIn("anna", "geheim"));
    }

    std::filesystem::path dataFolder() const { return m_root / "data"; }

    std::filesystem::path m_root;
    // The service's time, which stands still until a test moves it on.
    MovableClock m_clock;
    std::unique_ptr<LocalCloudServer> m_server;
    std::unique_ptr<ServiceClient> m_client;
    std::int64_t m_rootID = 0;
};

} // namespace LocalCloud::Testing
