#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _GMainLoop GMainLoop;
typedef struct _GMainContext GMainContext;

namespace Platform::Testing {

// A notification server of the test (org.freedesktop.Notifications) on a
// bus: records every call and keeps the list of notifications shown.
class RecordingNotificationServer {
public:
    struct Shown {
        std::uint32_t id;
        std::string applicationName;
        std::string summary;
        std::string body;
    };
    struct Call {
        std::string method;
        std::uint32_t id; // the notification replaced (Notify) or closed
        std::string summary;
        std::string body;
    };

    // Serves on `busAddress`; `bodyMarkup` decides the capability it announces.
    RecordingNotificationServer(const std::string& busAddress, bool bodyMarkup);
    ~RecordingNotificationServer();

    [[nodiscard]] bool isServing() const { return m_serving; }
    [[nodiscard]] std::vector<Shown> shown() const;
    [[nodiscard]] std::vector<Call> calls() const;

    // Called from the server thread.
    void handle(const std::string& method, void* parameters, void* invocation);

private:
    std::string m_address;
    bool m_bodyMarkup;
    bool m_serving = false;
    GMainContext* m_context = nullptr;
    GMainLoop* m_loop = nullptr;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Shown> m_shown;
    std::vector<Call> m_calls;
    std::uint32_t m_nextID = 1;
};

} // namespace Platform::Testing
