#pragma once

namespace Platform {

// A key only `Owner` can make. A public constructor that takes one can be
// reached through `std::make_shared` from inside `Owner` (its factory) and
// from nowhere else: the key's constructor is private and it is no aggregate,
// so `PassKey<Owner> {}` does not compile outside `Owner`.
template<class Owner>
class PassKey {
    friend Owner;
    PassKey() = default;
};

} // namespace Platform
