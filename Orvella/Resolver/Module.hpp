#pragma once

namespace Orvella {

class Binder;

// One part of the composition: it registers its bindings when the container is
// built. `configure` runs once, before anything is resolved, on the thread that
// builds the container; a module keeps nothing of the binder.
class Module {
public:
    virtual ~Module() = default;

    virtual void configure(Binder& binder) = 0;

protected:
    Module() = default;
    Module(const Module&) = default;
    Module& operator=(const Module&) = default;
};

} // namespace Orvella
