#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Quarlink {

// Runs work items on up to `width` threads of its own, started in the order
// they were added; threads are made only when work is waiting and every
// existing thread is busy. The client's delegate queue ("API Client Delegate
// Queue") is one: transfer completions are handled here, off the transport
// thread, so that parsing one response never holds up other transfers.
//
// Threading: `async` may be called from any thread, also from work running
// here. The destructor runs the work still waiting, then joins the threads;
// it must not run on one of them.
class WorkQueue {
public:
    WorkQueue(std::string name, std::size_t width);
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    [[nodiscard]] const std::string& name() const { return m_name; }
    void async(std::function<void()> work);

private:
    void run();

    std::string m_name;
    std::size_t m_width;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_waiting;
    std::vector<std::thread> m_threads;
    std::size_t m_idle = 0;
    bool m_stopping = false;
};

} // namespace Quarlink
