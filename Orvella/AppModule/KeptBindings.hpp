#pragma once

#include "Reactive/Disposables/CompositeDisposable.hpp"

#include <memory>

namespace Orvella {

// `object` handed out together with the reactions a factory installed for
// it: they last as long as the last pointer to the object the container gave
// out, and end with it. The reactions must not hold the returned pointer.
template<class T>
[[nodiscard]] std::shared_ptr<T> keepingBindings(std::shared_ptr<T> object, Reactive::CompositeDisposable bindings)
{
    struct Kept {
        std::shared_ptr<T> object;
        Reactive::CompositeDisposable bindings;
        ~Kept() { bindings.dispose(); }
    };
    // Filled in place: a moved-from temporary would end the bindings it shares.
    auto kept = std::make_shared<Kept>();
    kept->object = std::move(object);
    kept->bindings = std::move(bindings);
    return std::shared_ptr<T>(kept, kept->object.get());
}

} // namespace Orvella
