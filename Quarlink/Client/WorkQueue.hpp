#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
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
// here. The destructor runs the work still waiting, then joins the threads.
// It may also run on one of them (work that drops the last reference to the
// queue's owner): that thread is then left to finish the waiting work on its
// own instead of joining itself.
class WorkQueue {
public:
    WorkQueue(std::string name, std::size_t width);
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    [[nodiscard]] const std::string& name() const { return m_name; }
    void async(std::function<void()> work);

private:
    // What the threads share; it outlives the queue while a thread still runs.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> waiting;
        std::size_t idle = 0;
        bool stopping = false;
    };
    static void run(const std::shared_ptr<State>& state);

    std::string m_name;
    std::size_t m_width;
    std::shared_ptr<State> m_state;
    std::vector<std::thread> m_threads;
};

} // namespace Quarlink
