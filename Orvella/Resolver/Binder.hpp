#pragma once

#include "Orvella/Resolver/Detail/Bindings.hpp"
#include "Orvella/Resolver/Detail/Callable.hpp"
#include "Orvella/Resolver/Resolver.hpp"
#include "Orvella/Resolver/Scope.hpp"

#include <memory>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace Orvella {

// Collects the bindings of the modules while the container is built. There
// is one binding per key: a later binding of a key replaces the earlier one
// (so a module listed after another can put stand-ins in its place). The
// order of bindings does not matter for resolution: an alias may be made
// before the binding of its target, a factory may use keys bound after it.
//
// Factories receive the container and may be called from any thread, several
// at once for transients, so they are called as const.
class Binder {
public:
    class ResolverKey {
        ResolverKey() = default;
        friend class Resolver;
    };

    explicit Binder(ResolverKey) {}

    // A factory binding. `factory(Resolver&)` returns a shared pointer to the
    // key (or to a type derived from it), or that in a `std::expected`; an
    // error other than a `ResolutionError` reaches the resolver as the
    // factory's failure (`ResolutionError::cause`), a null pointer as `noInstance`.
    template<class Key, class Factory>
        requires Detail::FactoryFor<Factory, Key>
    void addBinding(Scope scope, Factory factory)
    {
        if (scope == Scope::single) {
            add<Key>(std::make_unique<Detail::SingleBinding<Key, Factory>>(std::move(factory)));
        } else {
            add<Key>(std::make_unique<Detail::TransientBinding<Key, Factory>>(std::move(factory)));
        }
    }

    // A typed-constructor binding: `Product` (the key itself unless given) is
    // made from `std::shared_ptr<Parameters>...`, each resolved by its type,
    // in order. A failure of any parameter fails the binding.
    template<class Key, class Product = Key, class... Parameters>
        requires std::is_convertible_v<std::shared_ptr<Product>, std::shared_ptr<Key>>
        && std::is_constructible_v<Product, std::shared_ptr<Parameters>...>
    void bind(Scope scope)
    {
        addBinding<Key>(scope, [](Resolver& resolver) { return resolver.construct<Product, Parameters...>(); });
    }

    // A typed-constructor binding over a function whose parameters are shared
    // pointers to keys, each resolved by its type, in order.
    template<class Key, Detail::KeyConstructor Constructor>
        requires Detail::IsProductFor<typename Detail::CallableTraits<Constructor>::Result, Key>::value
    void bind(Scope scope, Constructor constructor)
    {
        addBinding<Key>(scope, [constructor = std::move(constructor)](Resolver& resolver) {
            return resolver.construct(constructor);
        });
    }

    // An alias: a request for `Requested` is answered by resolving `Target`
    // and handing out its instance as `Requested`, so the instance lives as
    // long as `Target`'s binding decides. `Target` must derive from `Requested`.
    template<class Requested, class Target>
        requires Detail::Aliasable<Requested, Target>
    void alias()
    {
        add<Requested>(std::make_unique<Detail::AliasBinding<Requested, Target>>());
    }

    Detail::BindingTable takeBindings(ResolverKey) && { return std::move(m_bindings); }

private:
    template<class Key>
    void add(std::unique_ptr<Detail::KeyBinding<Key>> binding)
    {
        static_assert(std::is_same_v<Key, std::remove_cvref_t<Key>>, "a key is a plain type, without const or reference");
        m_bindings.insert_or_assign(typeid(Key), std::move(binding));
    }

    Detail::BindingTable m_bindings;
};

} // namespace Orvella
