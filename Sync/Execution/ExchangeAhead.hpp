#pragma once

#include "Platform/Foundation/PassKey.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Event.hpp"
#include "Reactive/SignalProducer.hpp"

#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace Sync {

// A server exchange started before its change's turn, for the cloud folder
// it was started with. Whatever it answers is kept until the change takes it
// over; going, or disposed, it ends the exchange.
class ExchangeAhead {
public:
    virtual ~ExchangeAhead() = default;
    virtual void dispose() = 0;
    [[nodiscard]] const Platform::URL& cloudFolder() const { return m_cloudFolder; }

protected:
    explicit ExchangeAhead(Platform::URL cloudFolder) : m_cloudFolder(std::move(cloudFolder)) { }

private:
    Platform::URL m_cloudFolder;
};

// The exchange `producer`, started at once; `take` hands its events, those
// kept and those still to come, in their order, to the one observer that
// starts it.
//
// Threading: the exchange may deliver on any thread; the taker's observer
// gets one event at a time, on the thread that starts `take` for what was
// kept and on the delivering thread for the rest.
template<class T>
class StartedAhead final : public ExchangeAhead, public std::enable_shared_from_this<StartedAhead<T>> {
public:
    using Producer = Reactive::SignalProducer<T, Reactive::AnyError>;
    using Event = Reactive::Event<T, Reactive::AnyError>;
    using Observer = Reactive::Observer<T, Reactive::AnyError>;

    StartedAhead(Platform::PassKey<StartedAhead>, Platform::URL cloudFolder) : ExchangeAhead(std::move(cloudFolder)) { }
    ~StartedAhead() override { m_handle.dispose(); }

    [[nodiscard]] static std::shared_ptr<StartedAhead> start(const Producer& producer, Platform::URL cloudFolder)
    {
        auto self = std::make_shared<StartedAhead>(Platform::PassKey<StartedAhead> {}, std::move(cloudFolder));
        std::weak_ptr<StartedAhead> weakSelf = self;
        auto handle = producer.start(Observer::make([weakSelf](Event&& event) {
            if (auto strong = weakSelf.lock()) {
                strong->receive(std::move(event));
            }
        }));
        bool disposed = false;
        {
            std::lock_guard lock(self->m_mutex);
            self->m_handle = handle;
            disposed = self->m_disposed;
        }
        if (disposed) {
            handle.dispose();
        }
        return self;
    }

    // The exchange's events for the change whose turn it is. Started once;
    // disposing it ends the exchange.
    [[nodiscard]] Producer take()
    {
        return Producer([self = this->shared_from_this()](Observer observer, Reactive::Lifetime lifetime) {
            static_cast<void>(lifetime.observeEnded([self] { self->dispose(); }));
            {
                std::lock_guard lock(self->m_mutex);
                self->m_taker = std::move(observer);
            }
            self->drain();
        });
    }

    void dispose() override
    {
        Reactive::AnyDisposable handle;
        {
            std::lock_guard lock(m_mutex);
            m_disposed = true;
            handle = m_handle;
            m_taker.reset();
        }
        handle.dispose();
    }

private:
    void receive(Event&& event)
    {
        {
            std::lock_guard lock(m_mutex);
            m_kept.push_back(std::move(event));
        }
        drain();
    }

    // Hands what is kept to the taker, once there is one: one thread at a
    // time, in order, and never with the lock held (the taker's reaction may
    // start the next change).
    void drain()
    {
        std::unique_lock lock(m_mutex);
        if (!m_taker || m_draining) {
            return;
        }
        m_draining = true;
        while (!m_kept.empty()) {
            auto event = std::move(m_kept.front());
            m_kept.pop_front();
            auto taker = *m_taker;
            if (event.isTerminating()) {
                // The taker's lifetime holds this object: the cycle ends here.
                m_taker.reset();
            }
            lock.unlock();
            taker.sendEvent(std::move(event));
            lock.lock();
            if (!m_taker) {
                break;
            }
        }
        m_draining = false;
    }

    std::mutex m_mutex;
    std::deque<Event> m_kept;
    std::optional<Observer> m_taker;
    Reactive::AnyDisposable m_handle;
    bool m_draining = false;
    bool m_disposed = false;
};

// The exchange `started` ahead, taken over when the change starts in the
// cloud folder it was started for (`currentFolder()` then); otherwise it
// ends unused and `fresh` runs, as it would have without it.
template<class T, class CurrentFolder>
[[nodiscard]] Reactive::SignalProducer<T, Reactive::AnyError> takenOrFresh(std::shared_ptr<ExchangeAhead> started,
    CurrentFolder currentFolder, Reactive::SignalProducer<T, Reactive::AnyError> fresh)
{
    if (!started) {
        return fresh;
    }
    using Producer = Reactive::SignalProducer<T, Reactive::AnyError>;
    return Producer([started = std::move(started), currentFolder = std::move(currentFolder), fresh = std::move(fresh)](
                        Reactive::Observer<T, Reactive::AnyError> observer, Reactive::Lifetime lifetime) {
        if (currentFolder() != started->cloudFolder()) {
            started->dispose();
            lifetime += fresh.start(observer);
            return;
        }
        lifetime += std::static_pointer_cast<StartedAhead<T>>(started)->take().start(observer);
    });
}

} // namespace Sync
