// localcloud's reading of requests (request line, header fields, bodies of
// every route) under mutated requests: a service in this process, as it runs
// when left running (no test controls), gets each input as the bytes of one
// connection. Whatever they are, the service answers with a status line or
// closes, within the time a client may take, and goes on serving.
// "@SESSION@" in an input becomes a live session of the user anna, "@HOST@"
// the service's own address and port.
#include "LocalCloud/Server/LocalCloudServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace std::chrono_literals;

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

struct Service {
    std::filesystem::path folder;
    std::unique_ptr<LocalCloud::LocalCloudServer> server;
    std::string session;

    Service()
    {
        folder = std::filesystem::temp_directory_path() / ("localcloud-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        auto started = LocalCloud::LocalCloudServer::start({ .dataFolder = folder / "data" });
        if (!started) {
            std::fprintf(stderr, "fuzz: the service does not start: %s\n", started.error().c_str());
            std::abort();
        }
        server = std::move(*started);
        server->accounts().addUser("anna", "geheim");
        renewSession();
        // The engine ends the process with exit(); the folder goes with it.
        static const auto removed = folder;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removed, ignored);
        });
    }

    // The driver logs in as a client of its own, so that the inputs' failed logins never lock it out.
    void renewSession()
    {
        if (!session.empty() && server->accounts().sessionUserUnused("session=" + session))
            return;
        session = server->accounts().logIn("2", "anna", "geheim", "fuzz driver").session;
        if (session.empty()) {
            std::fprintf(stderr, "fuzz: the driver's own login failed\n");
            std::abort();
        }
    }
};

// The connection's whole answer, once the service closed it; aborts when it
// neither answers nor closes in time.
std::string exchange(int port, const std::string& request)
{
    int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("fuzz: cannot connect to the service");
        std::abort();
    }
    std::size_t sent = 0;
    while (sent < request.size()) {
        auto count = ::send(socket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            break;
        sent += static_cast<std::size_t>(count);
    }
    ::shutdown(socket, SHUT_WR);
    std::string answer;
    char buffer[16 * 1024];
    auto end = std::chrono::steady_clock::now() + 30s;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd entry { socket, POLLIN, 0 };
        if (left <= 0ms || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            std::fprintf(stderr, "fuzz: the service neither answered nor closed in time\n");
            std::abort();
        }
        auto count = ::recv(socket, buffer, sizeof buffer, 0);
        if (count <= 0)
            break;
        // Only the start is looked at; a large download need not be kept.
        if (answer.size() < 4096)
            answer.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(socket);
    return answer;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto* service = new Service;
    service->renewSession();
    std::string request(reinterpret_cast<const char*>(data), size);
    replaceAll(request, "@SESSION@", service->session);
    replaceAll(request, "@HOST@", "127.0.0.1:" + std::to_string(service->server->port()));
    auto answer = exchange(service->server->port(), request);
    if (!answer.empty() && !answer.starts_with("HTTP/1.1 ")) {
        std::fprintf(stderr, "fuzz: an answer without a status line: %.200s\n", answer.c_str());
        std::abort();
    }
    return 0;
}
