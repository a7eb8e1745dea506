#pragma once

// Glimmerd/Control: the client side of the extension socket, for glimmerctl,
// the tests and the benchmarks.

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <expected>
#include <filesystem>
#include <string>

namespace Control {

// Why a client call failed; the text is German.
struct ClientError {
    enum class Kind {
        // Nobody listens on the socket, or the connection was lost.
        unreachable,
        // No answer within the time-out.
        timedOut,
        // The host sent something that is no JSON object.
        protocol,
    };
    Kind kind;
    std::string text;
};

// One blocking connection to the extension socket. Requests get increasing
// ids; events that arrive while waiting for an answer are kept for `nextEvent`.
// Threading: one thread at a time.
class GlimmerClient {
public:
    [[nodiscard]] static std::expected<GlimmerClient, ClientError> connect(const std::filesystem::path& socketPath);

    GlimmerClient(GlimmerClient&& other) noexcept;
    GlimmerClient& operator=(GlimmerClient&& other) noexcept;
    ~GlimmerClient();

    // Sends `request` with an "id" added and waits for its answer (ok or not).
    [[nodiscard]] std::expected<nlohmann::json, ClientError> request(nlohmann::json request,
        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sends raw bytes as they are (tests of malformed input and limits).
    [[nodiscard]] std::expected<void, ClientError> sendRaw(std::string_view bytes);
    // The next line the host sends that is not an answer to a request of `request`.
    [[nodiscard]] std::expected<nlohmann::json, ClientError> nextLine(std::chrono::milliseconds timeout);

private:
    explicit GlimmerClient(int descriptor);
    [[nodiscard]] std::expected<nlohmann::json, ClientError> readLine(std::chrono::steady_clock::time_point deadline);

    int m_descriptor = -1;
    std::int64_t m_nextID = 1;
    std::string m_buffer;
    std::deque<nlohmann::json> m_pending;
};

} // namespace Control
