#include "Platform/Foundation/Log.hpp"

#include <algorithm>
#include <cerrno>
#include <locale>
#include <syslog.h>
#include <unistd.h>

namespace Platform {

namespace {

constexpr std::string_view failureMarker = "❗️";
constexpr std::string_view successMarker = "✅";
// What every line after the first of one entry starts with.
constexpr std::string_view continuationIndent = "    ";

struct Sinks {
    std::mutex mutex;
    std::vector<LogCapture*> captures;
    std::string identity;
    bool syslogOpen { false };
};

Sinks& sinks()
{
    // Never destroyed: threads may still log while static objects are torn down.
    static auto* instance = new Sinks;
    return *instance;
}

void writeAll(int descriptor, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        ssize_t count = ::write(descriptor, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        written += static_cast<std::size_t>(count);
    }
}

// The length of the UTF-8 control or line break `text` starts with (C1
// controls such as NEL and CSI, the line and paragraph separators): a viewer
// may start a new line or a terminal sequence at them. 0 when it starts with
// none.
std::size_t unicodeBreakLength(std::string_view text)
{
    auto at = [&](std::size_t index) { return index < text.size() ? static_cast<unsigned char>(text[index]) : 0; };
    if (at(0) == 0xC2 && at(1) >= 0x80 && at(1) <= 0x9F)
        return 2;
    if (at(0) == 0xE2 && at(1) == 0x80 && (at(2) == 0xA8 || at(2) == 0xA9))
        return 3;
    return 0;
}

} // namespace

namespace Log {

void line(std::string_view text)
{
    if (text.ends_with('\n'))
        text.remove_suffix(1);
    // Names a server or another user chose reach the log: NUL would cut the
    // syslog line short, a carriage return or an escape sequence would steer
    // the terminal. They are written as "\xNN" (each byte of a UTF-8 control
    // or line separator too); tabs stay. A newline is kept for readability,
    // but the line after it starts with `continuationIndent` and an entry
    // never starts with a blank of its own, so a name carrying "\n<date> …"
    // reads as part of the entry it is in, never as an entry of its own.
    static constexpr char hex[] = "0123456789ABCDEF";
    auto escapeByte = [](std::string& out, unsigned char byte) {
        out += "\\x";
        out += hex[byte >> 4];
        out += hex[byte & 0x0F];
    };
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        auto byte = static_cast<unsigned char>(text[index]);
        if (byte == '\n') {
            escaped += '\n';
            escaped += continuationIndent;
        } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F || (index == 0 && (byte == ' ' || byte == '\t'))) {
            escapeByte(escaped, byte);
        } else if (auto length = unicodeBreakLength(text.substr(index)); length > 0) {
            for (std::size_t part = 0; part < length; ++part)
                escapeByte(escaped, static_cast<unsigned char>(text[index + part]));
            index += length - 1;
        } else {
            escaped += text[index];
        }
    }
    text = escaped;
    std::string output(text);
    output.push_back('\n');

    auto& state = sinks();
    std::vector<LogCapture*> captures;
    {
        std::lock_guard lock(state.mutex);
        captures = state.captures;
        if (captures.empty()) {
            if (!state.syslogOpen) {
                // openlog keeps the pointer, so the identity must outlive every call.
                ::openlog(state.identity.empty() ? nullptr : state.identity.c_str(), LOG_PID, LOG_USER);
                state.syslogOpen = true;
            }
            int priority = text.starts_with(failureMarker) ? LOG_ERR : LOG_INFO;
            ::syslog(priority, "%.*s", static_cast<int>(text.size()), text.data());
        }
        // Captures are appended under the sinks' lock so that a capture being
        // destroyed on another thread is never reached after its destructor ran.
        for (auto* capture : captures)
            capture->append(std::string(text));
    }
    writeAll(STDERR_FILENO, output);
}

void failure(std::string_view message)
{
    std::string text(failureMarker);
    text.push_back(' ');
    text.append(message);
    line(text);
}

void success(std::string_view message)
{
    std::string text(successMarker);
    text.push_back(' ');
    text.append(message);
    line(text);
}

void setIdentity(std::string identity)
{
    auto& state = sinks();
    std::lock_guard lock(state.mutex);
    if (state.syslogOpen)
        return;
    state.identity = std::move(identity);
}

Stream::Stream()
{
    m_text.imbue(std::locale::classic());
}

Stream::~Stream()
{
    line(m_text.str());
}

} // namespace Log

LogCapture::LogCapture()
{
    auto& state = sinks();
    std::lock_guard lock(state.mutex);
    state.captures.push_back(this);
}

LogCapture::~LogCapture()
{
    auto& state = sinks();
    std::lock_guard lock(state.mutex);
    std::erase(state.captures, this);
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool LogCapture::contains(std::string_view text) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_lines.begin(), m_lines.end(),
        [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

bool LogCapture::waitForLine(std::string_view text, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_condition.wait_for(lock, timeout, [&] {
        return std::any_of(m_lines.begin(), m_lines.end(),
            [&](const std::string& line) { return line.find(text) != std::string::npos; });
    });
}

void LogCapture::append(const std::string& line)
{
    {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(line);
    }
    m_condition.notify_all();
}

} // namespace Platform
