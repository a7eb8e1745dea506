#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

namespace Platform {

// The wait of a reader thread: it sleeps in poll(2) on its own descriptors
// and on a stop eventfd, so another thread can end it at once, whatever it
// waits for. The loop runs on the calling thread; the owner starts and joins
// that thread.
class PollLoop {
public:
    // What one wake-up brought.
    struct Wake {
        std::vector<short> events;  // poll(2)'s revents per descriptor given to `run`, in that order
        bool timedOut = false;      // the wait's limit passed with nothing ready

        // POLLIN came for the descriptor at `index`.
        [[nodiscard]] bool readable(std::size_t index) const;
        // Anything came for it: data, an error or a hang-up.
        [[nodiscard]] bool signalled(std::size_t index) const { return events[index] != 0; }
    };
    // How long the next wait may last; nothing: until something is readable.
    using Timeout = std::function<std::optional<std::chrono::milliseconds>()>;
    using Handler = std::function<void(const Wake&)>;

    // Fails when no eventfd can be made.
    [[nodiscard]] static std::expected<PollLoop, std::error_code> create();

    PollLoop(PollLoop&& other) noexcept;
    PollLoop& operator=(PollLoop&& other) noexcept;
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;
    ~PollLoop();

    // Waits on `descriptors` (for POLLIN) and calls `handler` after every
    // wake-up, an interrupted wait included (then nothing is readable and it
    // did not time out), until `stop` is called. Returns at once when stopped
    // already; the handler is never called once the stop was seen. Fails
    // with the error of a failed poll(2).
    std::expected<void, std::error_code> run(std::span<const int> descriptors, const Timeout& timeout,
                                             const Handler& handler) const;

    // Ends `run` from any thread, now or as soon as it starts.
    void stop() const;
    // Takes a stop back, so `run` waits again (for a loop started afresh).
    void rearm() const;
    // Readable once stopped: for other waits that a stop must cut short.
    [[nodiscard]] int stopDescriptor() const { return m_stop; }

private:
    explicit PollLoop(int stop) : m_stop(stop) {}
    int m_stop = -1;
};

}  // namespace Platform
