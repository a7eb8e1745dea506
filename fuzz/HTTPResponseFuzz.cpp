// The transport's reading of a server's answer (status lines, header fields,
// redirects, bodies) under mutated answers: a loopback service sends each
// input as its raw answer to a GET that carries a session cookie. Whatever it
// sends, the task completes, and nothing reaches another origin: a second
// listener, where "@FOREIGN@" in an input points, must never see a connection.
// "@ORIGIN@" names the service itself; a redirect there gets a plain answer.
#include "Platform/Network/URLSession.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

int listenOnLoopback(int& port)
{
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 64) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("fuzz: cannot listen");
        std::abort();
    }
    port = ntohs(address.sin_port);
    return listener;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// Answers every connection with the current input (the first request of an
// input) or a plain answer (any further one, so redirects end).
class ScriptedService {
public:
    ScriptedService()
    {
        m_listener = listenOnLoopback(m_port);
        m_foreignListener = listenOnLoopback(m_foreignPort);
        m_thread = std::thread([this] { serve(); });
        std::thread([this] { watchForeign(); }).detach();
    }

    [[nodiscard]] std::string authority() const { return "127.0.0.1:" + std::to_string(m_port); }
    [[nodiscard]] std::string foreignAuthority() const { return "127.0.0.1:" + std::to_string(m_foreignPort); }

    void setAnswer(std::string answer)
    {
        std::lock_guard lock(m_mutex);
        m_answer = std::move(answer);
        m_answered = false;
    }

private:
    void serve()
    {
        for (;;) {
            int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            readHead(connection);
            std::string answer;
            {
                std::lock_guard lock(m_mutex);
                answer = m_answered ? std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}")
                                    : m_answer;
                m_answered = true;
            }
            std::size_t sent = 0;
            while (sent < answer.size()) {
                auto count = ::send(connection, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (count <= 0)
                    break;
                sent += static_cast<std::size_t>(count);
            }
            ::shutdown(connection, SHUT_WR);
            ::close(connection);
        }
    }

    // The request's head, so that the answer never meets unread bytes.
    static void readHead(int connection)
    {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            pollfd entry { connection, POLLIN, 0 };
            if (::poll(&entry, 1, 5000) <= 0)
                return;
            auto count = ::recv(connection, buffer, sizeof buffer, 0);
            if (count <= 0)
                return;
            head.append(buffer, static_cast<std::size_t>(count));
        }
    }

    void watchForeign()
    {
        int connection = ::accept4(m_foreignListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            std::fprintf(stderr, "fuzz: a request left the origin for %s\n", foreignAuthority().c_str());
            std::abort();
        }
    }

    int m_listener = -1;
    int m_port = 0;
    int m_foreignListener = -1;
    int m_foreignPort = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::string m_answer;
    bool m_answered = true;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto* service = new ScriptedService;
    static auto session = [] {
        Platform::URLSessionConfiguration configuration;
        configuration.idleTimeout = 5s;
        configuration.answerTimeout = 10s;
        configuration.connectTimeout = 5s;
        return Platform::URLSession::create(configuration);
    }();
    std::string answer(reinterpret_cast<const char*>(data), size);
    replaceAll(answer, "@ORIGIN@", service->authority());
    replaceAll(answer, "@FOREIGN@", service->foreignAuthority());
    service->setAnswer(std::move(answer));

    Platform::URLRequest request { .url = "http://" + service->authority() + "/v2.0/files" };
    request.headers.add("Cookie", "session=0123456789abcdef0123456789abcdef");
    request.maximumBodySize = 1 << 20;
    std::promise<void> completed;
    auto task = session->dataTask(std::move(request),
        [&](Platform::URLSessionTask&, std::expected<Platform::DataTaskResponse, Platform::TransportError> result) {
            if (result && result->data.size() > (1u << 20)) {
                std::fprintf(stderr, "fuzz: a body beyond the task's bound was kept\n");
                std::abort();
            }
            completed.set_value();
        });
    task->resume();
    if (completed.get_future().wait_for(30s) != std::future_status::ready) {
        std::fprintf(stderr, "fuzz: the task never completed\n");
        std::abort();
    }
    return 0;
}
