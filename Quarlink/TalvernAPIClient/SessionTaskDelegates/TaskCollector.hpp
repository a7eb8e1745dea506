#pragma once

// Quarlink/TalvernAPIClient/SessionTaskDelegates: the delegates of the
// client's URL session and the per-task delegates of sessions whose tasks run
// without completion handlers.

#include "Platform/Network/URLSession.hpp"
#include "Platform/Network/URLSessionDelegate.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <memory>
#include <mutex>
#include <vector>

namespace Quarlink {

// The tasks of a session at one moment, by kind, each list in identifier order.
struct SessionTasks {
    std::vector<std::shared_ptr<Platform::URLSessionTask>> data;
    std::vector<std::shared_ptr<Platform::URLSessionTask>> upload;
    std::vector<std::shared_ptr<Platform::URLSessionTask>> download;
};

// The delegate of the client's session. It takes no part in any transfer: it
// notices activity (body bytes sent, a download finished, a task completed)
// and keeps a snapshot of the session's unfinished tasks. Queries are
// throttled to one per 0.1 seconds on its own scheduler (the first after a
// quiet spell at once, the last of a burst 0.1 seconds after the one before)
// and run one after another.
//
// Threading: the callbacks may arrive on any thread; `allTasks` may be read
// and observed from any thread.
class TaskCollector final : public Platform::URLSessionDelegate,
                            public std::enable_shared_from_this<TaskCollector> {
public:
    // Queries run on `scheduler`; a serial scheduler of its own when null.
    [[nodiscard]] static std::shared_ptr<TaskCollector> make(Reactive::DateSchedulerPtr scheduler = nullptr);
    ~TaskCollector() override;

    // The session whose tasks are listed from now on (the client's session in force).
    void setSession(std::weak_ptr<Platform::URLSession> session);

    void didSendBodyData(Platform::URLSessionTask& task, std::int64_t bytesSent, std::int64_t totalBytesSent,
        std::int64_t totalBytesExpectedToSend) override;
    void didFinishDownloading(Platform::URLSessionTask& task, const std::filesystem::path& location) override;
    void didComplete(Platform::URLSessionTask& task, const std::optional<Platform::TransportError>& error) override;

    // The latest snapshot; three empty lists at first. Every query sets it,
    // so observers see one value per query.
    [[nodiscard]] Reactive::Property<SessionTasks> allTasks() const { return m_allTasks.property(); }

private:
    TaskCollector() = default;
    void bind(Reactive::DateSchedulerPtr scheduler);
    void noteActivity();
    [[nodiscard]] static Reactive::SignalProducer<SessionTasks, Reactive::NoError> getTasks(
        std::weak_ptr<Platform::URLSession> session);

    Reactive::MutableProperty<SessionTasks> m_allTasks { SessionTasks {} };
    std::pair<Reactive::Signal<std::weak_ptr<Platform::URLSession>, Reactive::NoError>,
        Reactive::Observer<std::weak_ptr<Platform::URLSession>, Reactive::NoError>>
        m_tasksUpdated = Reactive::Signal<std::weak_ptr<Platform::URLSession>, Reactive::NoError>::pipe();
    std::shared_ptr<Reactive::DateScheduler> m_scheduler;
    Reactive::AnyDisposable m_binding;
    mutable std::mutex m_mutex;
    std::weak_ptr<Platform::URLSession> m_session;
};

} // namespace Quarlink
