#pragma once

#include "Reactive/MutableProperty.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace Quarlink {

// The progress of one piece of work, in units of its own choosing, possibly
// made of child progresses that each stand for a share (their pending unit
// count) of the parent's units. A caller makes a progress current on its
// thread while it starts work; progress objects made meanwhile with
// `makeWithCurrentParent` become its children, so the caller sees their
// progress without knowing them.
//
// Threading: every member may be called from any thread; the streams deliver
// with no lock held. `becomeCurrent`/`resignCurrent` act on the calling thread.
class Progress : public std::enable_shared_from_this<Progress> {
public:
    // A total of -1 (or any negative count) means unknown: the fraction stays 0.
    [[nodiscard]] static std::shared_ptr<Progress> make(std::int64_t totalUnitCount);
    // A progress whose parent is the one current on the calling thread (none
    // when none is), taking the pending unit count given to `becomeCurrent`.
    [[nodiscard]] static std::shared_ptr<Progress> makeWithCurrentParent(std::int64_t totalUnitCount);
    // The progress current on the calling thread, or null.
    [[nodiscard]] static std::shared_ptr<Progress> current();

    // Makes this progress current on the calling thread; the next child made
    // with `makeWithCurrentParent` stands for `pendingUnitCount` of its units.
    void becomeCurrent(std::int64_t pendingUnitCount);
    // Ends `becomeCurrent`; the progress current before becomes current again.
    void resignCurrent();

    void addChild(const std::shared_ptr<Progress>& child, std::int64_t pendingUnitCount);

    [[nodiscard]] std::int64_t totalUnitCount() const;
    void setTotalUnitCount(std::int64_t count);
    [[nodiscard]] std::int64_t completedUnitCount() const;
    void setCompletedUnitCount(std::int64_t count);
    // Completed units plus the children's shares, over the total; 0 while the total is unknown.
    [[nodiscard]] double fractionCompleted() const { return m_fraction.value(); }
    // The current fraction, then every change.
    [[nodiscard]] Reactive::SignalProducer<double, Reactive::NoError> fractionCompletedProducer() const
    {
        return m_fraction.producer();
    }

    [[nodiscard]] bool isCancellable() const;
    void setCancellable(bool cancellable);
    [[nodiscard]] bool isCancelled() const { return m_cancelled.value(); }
    // Marks this progress and its children cancelled (also when not cancellable,
    // as the platform's progress objects do).
    void cancel();
    // The current cancelled flag, then every change.
    [[nodiscard]] Reactive::SignalProducer<bool, Reactive::NoError> cancelledProducer() const
    {
        return m_cancelled.producer();
    }

private:
    explicit Progress(std::int64_t totalUnitCount);
    void update();

    struct Child {
        std::shared_ptr<Progress> progress;
        std::int64_t pendingUnitCount;
    };

    mutable std::mutex m_mutex;
    std::int64_t m_total;
    std::int64_t m_completed = 0;
    bool m_cancellable = false;
    std::vector<Child> m_children;
    std::weak_ptr<Progress> m_parent;
    // Pending unit count for the next child made while this progress is current.
    std::int64_t m_pendingForCurrent = 0;
    Reactive::MutableProperty<double> m_fraction { 0.0 };
    Reactive::MutableProperty<bool> m_cancelled { false };
    Reactive::AnyDisposable m_parentObservation;
};

} // namespace Quarlink
