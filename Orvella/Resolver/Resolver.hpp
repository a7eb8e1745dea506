#pragma once
// Orvella/Resolver: the dependency container that builds every service of the
// application from the bindings of its modules, with keys that are types.

#include "Orvella/Resolver/Detail/Binding.hpp"
#include "Orvella/Resolver/Detail/Callable.hpp"
#include "Orvella/Resolver/Module.hpp"
#include "Orvella/Resolver/ResolutionError.hpp"

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <utility>
#include <vector>

namespace Orvella {

template<class Key>
using Resolution = std::expected<std::shared_ptr<Key>, ResolutionError>;

// The container. It runs its modules' `configure` once, in the constructor,
// and never changes its bindings afterwards, so lookups take no lock.
//
// Threads: every member may be called from any thread at once. A single is
// built by one thread while others asking for it wait; no lock is held while
// a factory runs, so factories may resolve further keys freely. A key asked
// for again while its own factory runs (on the same thread, or through
// threads waiting for each other's singles) fails with a cycle instead of
// recursing or deadlocking.
//
// Lifetime: the container owns its singles and drops them when it ends, the
// last built first. Factories and products may keep a reference to the
// container; they must not use it after it ended, which holds for singles.
class Resolver {
public:
    explicit Resolver(const std::vector<std::shared_ptr<Module>>& modules);
    ~Resolver();
    Resolver(const Resolver&) = delete;
    Resolver& operator=(const Resolver&) = delete;

    // The instance bound to `Key`. Fails when nothing is bound to it, when its
    // factory fails, or with the error of whatever the factory resolved, unchanged.
    template<class Key>
    Resolution<Key> resolve();

    // `resolve` of the key named by the type the result initialises:
    // `Resolution<Navigator> navigator = resolver.inject();`.
    class Injection {
    public:
        explicit Injection(Resolver& resolver) : m_resolver(resolver) {}
        template<class Key>
        operator Resolution<Key>() const // NOLINT: converts implicitly on purpose.
        {
            return m_resolver.resolve<Key>();
        }

    private:
        Resolver& m_resolver;
    };
    Injection inject() { return Injection(*this); }

    // As `resolve`, but a key without a binding gives a null pointer instead
    // of an error. A bound key whose factory fails still fails.
    template<class Key>
    Resolution<Key> injectOptional();

    // A function that resolves `Key` anew at each call (for transients that
    // must be fresh at every use, from any thread). It uses this container and
    // must not be called after the container ended.
    template<class Key>
    std::function<Resolution<Key>()> injectFactory();

    // `std::make_shared<Product>(...)` with each of `Parameters` resolved, in order.
    template<class Product, class... Parameters>
        requires std::is_constructible_v<Product, std::shared_ptr<Parameters>...>
    Resolution<Product> construct();

    // Calls `constructor` with each of its parameters (shared pointers to
    // keys) resolved, in order; the first failure is returned and the
    // constructor is not called.
    template<Detail::KeyConstructor Constructor>
    std::expected<typename Detail::CallableTraits<std::remove_cvref_t<Constructor>>::Result, ResolutionError>
    construct(Constructor&& constructor);

    Detail::SingleCoordinator& singles(Detail::BindingAccess) { return m_singles; }

private:
    template<class Key>
    static void checkKey()
    {
        static_assert(std::is_same_v<Key, std::remove_cvref_t<Key>>, "a key is a plain type, without const or reference");
    }

    Detail::Binding* find(std::type_index key) const;

    template<class Arguments, class Constructor, std::size_t... Index>
    auto constructFrom(Constructor& constructor, std::index_sequence<Index...>)
        -> std::expected<typename Detail::CallableTraits<std::remove_cvref_t<Constructor>>::Result, ResolutionError>;

    template<std::size_t Index, class Tuple>
    void fillArgument(Tuple& arguments, std::optional<ResolutionError>& failure);

    Detail::BindingTable m_bindings;
    Detail::SingleCoordinator m_singles;
};

template<class Key>
Resolution<Key> Resolver::resolve()
{
    checkKey<Key>();
    auto* binding = find(typeid(Key));
    if (!binding) {
        return std::unexpected(ResolutionError::unboundKey(typeid(Key)));
    }
    return static_cast<Detail::KeyBinding<Key>*>(binding)->resolve(*this);
}

template<class Key>
Resolution<Key> Resolver::injectOptional()
{
    checkKey<Key>();
    auto* binding = find(typeid(Key));
    if (!binding) {
        return std::shared_ptr<Key>();
    }
    return static_cast<Detail::KeyBinding<Key>*>(binding)->resolve(*this);
}

template<class Key>
std::function<Resolution<Key>()> Resolver::injectFactory()
{
    checkKey<Key>();
    return [this] { return resolve<Key>(); };
}

template<class Product, class... Parameters>
    requires std::is_constructible_v<Product, std::shared_ptr<Parameters>...>
Resolution<Product> Resolver::construct()
{
    return construct([](std::shared_ptr<Parameters>... parameters) {
        return std::make_shared<Product>(std::move(parameters)...);
    });
}

template<Detail::KeyConstructor Constructor>
std::expected<typename Detail::CallableTraits<std::remove_cvref_t<Constructor>>::Result, ResolutionError>
Resolver::construct(Constructor&& constructor)
{
    using Arguments = typename Detail::CallableTraits<std::remove_cvref_t<Constructor>>::Arguments;
    return constructFrom<Arguments>(constructor, std::make_index_sequence<std::tuple_size_v<Arguments>>());
}

template<class Arguments, class Constructor, std::size_t... Index>
auto Resolver::constructFrom(Constructor& constructor, std::index_sequence<Index...>)
    -> std::expected<typename Detail::CallableTraits<std::remove_cvref_t<Constructor>>::Result, ResolutionError>
{
    std::tuple<std::remove_cvref_t<std::tuple_element_t<Index, Arguments>>...> arguments;
    std::optional<ResolutionError> failure;
    // A comma fold runs left to right: parameters are resolved in their order.
    (fillArgument<Index>(arguments, failure), ...);
    if (failure) {
        return std::unexpected(std::move(*failure));
    }
    return std::apply(std::as_const(constructor), std::move(arguments));
}

template<std::size_t Index, class Tuple>
void Resolver::fillArgument(Tuple& arguments, std::optional<ResolutionError>& failure)
{
    if (failure) {
        return;
    }
    using Key = std::remove_cv_t<typename std::tuple_element_t<Index, Tuple>::element_type>;
    auto resolved = resolve<Key>();
    if (!resolved) {
        failure = std::move(resolved.error());
        return;
    }
    std::get<Index>(arguments) = std::move(*resolved);
}

} // namespace Orvella
