#include "Platform/Foundation/PollLoop.hpp"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace Platform {

bool PollLoop::Wake::readable(std::size_t index) const
{
    return (events[index] & POLLIN) != 0;
}

std::expected<PollLoop, std::error_code> PollLoop::create()
{
    int const stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop < 0) {
        return std::unexpected(std::error_code(errno, std::generic_category()));
    }
    return PollLoop(stop);
}

PollLoop::PollLoop(PollLoop&& other) noexcept : m_stop(std::exchange(other.m_stop, -1)) {}

PollLoop& PollLoop::operator=(PollLoop&& other) noexcept
{
    if (this != &other) {
        if (m_stop >= 0) {
            ::close(m_stop);
        }
        m_stop = std::exchange(other.m_stop, -1);
    }
    return *this;
}

PollLoop::~PollLoop()
{
    if (m_stop >= 0) {
        ::close(m_stop);
    }
}

std::expected<void, std::error_code> PollLoop::run(std::span<const int> descriptors, const Timeout& timeout,
                                                   const Handler& handler) const
{
    std::vector<pollfd> waited;
    waited.reserve(descriptors.size() + 1);
    for (int const descriptor : descriptors) {
        waited.push_back({descriptor, POLLIN, 0});
    }
    waited.push_back({m_stop, POLLIN, 0});
    Wake wake;
    while (true) {
        int limit = -1;
        if (timeout) {
            if (auto const next = timeout()) {
                limit = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, next->count()));
            }
        }
        for (auto& entry : waited) {
            entry.revents = 0;
        }
        int const ready = ::poll(waited.data(), waited.size(), limit);
        if (ready < 0 && errno != EINTR) {
            return std::unexpected(std::error_code(errno, std::generic_category()));
        }
        if ((waited.back().revents & POLLIN) != 0) {
            return {};
        }
        wake.events.assign(descriptors.size(), 0);
        for (std::size_t index = 0; ready > 0 && index < descriptors.size(); ++index) {
            wake.events[index] = waited[index].revents;
        }
        wake.timedOut = ready == 0;
        handler(wake);
    }
}

void PollLoop::stop() const
{
    // A full counter still reads as stopped; nothing to do about a failure.
    [[maybe_unused]] auto const written = ::eventfd_write(m_stop, 1);
}

void PollLoop::rearm() const
{
    eventfd_t ignored = 0;
    [[maybe_unused]] auto const read = ::eventfd_read(m_stop, &ignored);
}

}  // namespace Platform
