#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <condition_variable>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// The process-wide logger: one line per event, to stderr and to syslog.
// Lines carry their own markers: "❗️" at the start marks a failure (syslog
// priority LOG_ERR), "✅" a success; every other line goes out as LOG_INFO.
// Callers write the system's own texts byte for byte, marker included.
//
// Threading: any thread may log; each line is written with one write(2) call,
// so lines of different threads never interleave. Lines are never reordered
// within one thread. Logging never fails and never throws.
namespace Log {

// Writes one entry; a trailing newline in `line` is dropped. Whatever the text
// holds, it cannot pass for more than one entry: every line after the first
// starts with four spaces, a blank at the very start is escaped, and control
// characters and Unicode line separators are written as "\xNN" (tabs stay).
// So one physical line starting with no blank always begins a new entry.
void line(std::string_view line);

// Shorthands that put the marker and a space in front: failure("x") writes "❗️ x".
void failure(std::string_view message);
void success(std::string_view message);

// The syslog identity (default: the program's short name). Call before the
// first line if at all.
void setIdentity(std::string identity);

// Builds one line from streamed parts and writes it when it goes out of
// scope: `Log::Stream() << "Uploaded " << count << " files";`. Streams use the
// classic "C" locale, so numbers never pick up a user's separators.
class Stream {
public:
    Stream();
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    template<typename Value>
    Stream& operator<<(const Value& value)
    {
        m_text << value;
        return *this;
    }

private:
    std::ostringstream m_text;
};

} // namespace Log

// Collects every line logged in this process while it lives (they still go to
// stderr, not to syslog), for tests. Captures may nest; each sees the lines
// logged during its own life. Thread-safe.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    [[nodiscard]] std::vector<std::string> lines() const;
    // Whether a captured line contains `text`.
    [[nodiscard]] bool contains(std::string_view text) const;
    // Waits until a captured line contains `text` or the timeout passes;
    // returns whether it appeared.
    [[nodiscard]] bool waitForLine(std::string_view text, std::chrono::milliseconds timeout) const;

    // Called by the logger; not for other callers.
    void append(const std::string& line);

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_condition;
    std::vector<std::string> m_lines;
};

} // namespace Platform
