#include "Quarlink/Client/Progress.hpp"

#include <algorithm>

namespace Quarlink {

namespace {

thread_local std::vector<std::shared_ptr<Progress>> currentStack;

} // namespace

Progress::Progress(std::int64_t totalUnitCount)
    : m_total(totalUnitCount)
{
}

std::shared_ptr<Progress> Progress::make(std::int64_t totalUnitCount)
{
    return std::shared_ptr<Progress>(new Progress(totalUnitCount));
}

std::shared_ptr<Progress> Progress::makeWithCurrentParent(std::int64_t totalUnitCount)
{
    auto progress = make(totalUnitCount);
    if (auto parent = current()) {
        std::int64_t pending;
        {
            std::lock_guard lock(parent->m_mutex);
            pending = std::exchange(parent->m_pendingForCurrent, 0);
        }
        parent->addChild(progress, pending);
    }
    return progress;
}

std::shared_ptr<Progress> Progress::current()
{
    return currentStack.empty() ? nullptr : currentStack.back();
}

void Progress::becomeCurrent(std::int64_t pendingUnitCount)
{
    {
        std::lock_guard lock(m_mutex);
        m_pendingForCurrent = pendingUnitCount;
    }
    currentStack.push_back(shared_from_this());
}

void Progress::resignCurrent()
{
    auto found = std::find(currentStack.rbegin(), currentStack.rend(), shared_from_this());
    if (found != currentStack.rend())
        currentStack.erase(std::next(found).base());
    std::lock_guard lock(m_mutex);
    m_pendingForCurrent = 0;
}

void Progress::addChild(const std::shared_ptr<Progress>& child, std::int64_t pendingUnitCount)
{
    {
        std::lock_guard lock(m_mutex);
        m_children.push_back({ child, pendingUnitCount });
    }
    {
        std::lock_guard lock(child->m_mutex);
        child->m_parent = weak_from_this();
    }
    std::weak_ptr<Progress> weakParent = weak_from_this();
    // The child's changes reach the parent for as long as the child lives.
    child->m_parentObservation = child->fractionCompletedProducer().startWithValues([weakParent](const double&) {
        if (auto parent = weakParent.lock())
            parent->update();
    });
    if (isCancelled())
        child->cancel();
}

std::int64_t Progress::totalUnitCount() const
{
    std::lock_guard lock(m_mutex);
    return m_total;
}

void Progress::setTotalUnitCount(std::int64_t count)
{
    {
        std::lock_guard lock(m_mutex);
        m_total = count;
    }
    update();
}

std::int64_t Progress::completedUnitCount() const
{
    std::lock_guard lock(m_mutex);
    return m_completed;
}

void Progress::setCompletedUnitCount(std::int64_t count)
{
    {
        std::lock_guard lock(m_mutex);
        m_completed = count;
    }
    update();
}

bool Progress::isCancellable() const
{
    std::lock_guard lock(m_mutex);
    return m_cancellable;
}

void Progress::setCancellable(bool cancellable)
{
    std::lock_guard lock(m_mutex);
    m_cancellable = cancellable;
}

void Progress::cancel()
{
    std::vector<Child> children;
    {
        std::lock_guard lock(m_mutex);
        children = m_children;
    }
    if (m_cancelled.swap(true))
        return;
    for (const auto& child : children)
        child.progress->cancel();
}

void Progress::update()
{
    double fraction = 0.0;
    {
        std::lock_guard lock(m_mutex);
        if (m_total > 0) {
            double units = static_cast<double>(m_completed);
            for (const auto& child : m_children)
                units += std::min(1.0, child.progress->fractionCompleted()) * static_cast<double>(child.pendingUnitCount);
            fraction = units / static_cast<double>(m_total);
        }
    }
    m_fraction.set(fraction);
}

} // namespace Quarlink
