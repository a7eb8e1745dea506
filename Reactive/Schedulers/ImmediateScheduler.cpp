#include "Reactive/Schedulers/ImmediateScheduler.hpp"

namespace Reactive {

std::shared_ptr<ImmediateScheduler> ImmediateScheduler::shared()
{
    static const auto scheduler = std::make_shared<ImmediateScheduler>();
    return scheduler;
}

AnyDisposable ImmediateScheduler::schedule(std::function<void()> action, std::source_location)
{
    action();
    return {};
}

}
