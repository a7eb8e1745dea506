#pragma once
// The three kinds of binding the binder makes: a factory run at every
// resolution, a factory run once, and an alias of another key.

#include "Orvella/Resolver/Detail/Binding.hpp"
#include "Orvella/Resolver/Resolver.hpp"

#include "Reactive/AnyError.hpp"

#include <expected>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace Orvella::Detail {

// What a factory for `Key` may return: a shared pointer to `Key` or to a type
// derived from it, or that wrapped in a `std::expected` with any error type.
template<class Result, class Key>
struct IsProductFor : std::false_type {};

template<class Product, class Key>
struct IsProductFor<std::shared_ptr<Product>, Key>
    : std::bool_constant<std::is_convertible_v<std::shared_ptr<Product>, std::shared_ptr<Key>>> {};

template<class Product, class Error, class Key>
struct IsProductFor<std::expected<std::shared_ptr<Product>, Error>, Key> : IsProductFor<std::shared_ptr<Product>, Key> {};

template<class Factory, class Key>
concept FactoryFor = std::is_invocable_v<const Factory&, Resolver&>
    && IsProductFor<std::invoke_result_t<const Factory&, Resolver&>, Key>::value;

template<class Key, class Product>
Resolution<Key> toResolution(std::shared_ptr<Product> product)
{
    if (!product) {
        return std::unexpected(ResolutionError::noInstance(typeid(Key)));
    }
    // An implicit conversion of the typed pointer: the right base even when
    // `Product` has several.
    return std::shared_ptr<Key>(std::move(product));
}

// A `ResolutionError` (also inside an `AnyError`) passes unchanged, since it
// belongs to a key the factory resolved; any other error is the factory's own.
template<class Key, class Product, class Error>
Resolution<Key> toResolution(std::expected<std::shared_ptr<Product>, Error> result)
{
    if (result) {
        return toResolution<Key>(std::move(*result));
    }
    if constexpr (std::is_same_v<Error, ResolutionError>) {
        return std::unexpected(std::move(result.error()));
    } else if constexpr (std::is_same_v<Error, Reactive::AnyError>) {
        if (const auto* resolutionError = result.error().template as<ResolutionError>()) {
            return std::unexpected(*resolutionError);
        }
        return std::unexpected(ResolutionError::factoryFailed<Key>(std::move(result.error())));
    } else {
        return std::unexpected(ResolutionError::factoryFailed<Key>(Reactive::AnyError(std::move(result.error()))));
    }
}

template<class Key, class Factory>
class TransientBinding final : public KeyBinding<Key> {
public:
    explicit TransientBinding(Factory factory) : m_factory(std::move(factory)) {}

    Resolution<Key> resolve(Resolver& resolver) override
    {
        ResolutionFrame frame(*this);
        if (frame.closesCycle()) {
            return std::unexpected(frame.cycle());
        }
        return toResolution<Key>(std::invoke(m_factory, resolver));
    }

private:
    const Factory m_factory;
};

template<class Key, class Factory>
class SingleBinding final : public KeyBinding<Key>, public SingleState {
public:
    explicit SingleBinding(Factory factory) : m_factory(std::move(factory)) {}

    Resolution<Key> resolve(Resolver& resolver) override
    {
        if (ready.load(std::memory_order_acquire)) {
            return m_instance;
        }
        ResolutionFrame frame(*this);
        if (frame.closesCycle()) {
            return std::unexpected(frame.cycle());
        }
        auto& singles = resolver.singles({});
        auto ticket = singles.begin(*this, *this);
        if (!ticket) {
            return std::unexpected(std::move(ticket.error()));
        }
        if (*ticket == SingleCoordinator::Ticket::ready) {
            return m_instance;
        }
        // Ends the build also when the factory throws, so waiting threads go on.
        struct Build {
            SingleCoordinator& singles;
            SingleState& state;
            bool built = false;
            ~Build() { singles.finish(state, built); }
        } build{singles, *this};
        auto product = toResolution<Key>(std::invoke(m_factory, resolver));
        if (product) {
            // Written before `finish` publishes it, and never again.
            m_instance = *product;
            build.built = true;
        }
        return product;
    }

    void release() override { m_instance.reset(); }

private:
    const Factory m_factory;
    std::shared_ptr<Key> m_instance;
};

template<class Requested, class Target>
concept Aliasable = !std::is_same_v<Requested, Target>
    && std::is_same_v<Requested, std::remove_cvref_t<Requested>>
    && std::is_same_v<Target, std::remove_cvref_t<Target>>
    && std::is_convertible_v<std::shared_ptr<Target>, std::shared_ptr<Requested>>;

template<class Requested, class Target>
    requires Aliasable<Requested, Target>
class AliasBinding final : public KeyBinding<Requested> {
public:
    Resolution<Requested> resolve(Resolver& resolver) override
    {
        ResolutionFrame frame(*this);
        if (frame.closesCycle()) {
            return std::unexpected(frame.cycle());
        }
        auto target = resolver.resolve<Target>();
        if (!target) {
            return std::unexpected(std::move(target.error()));
        }
        return std::shared_ptr<Requested>(std::move(*target));
    }
};

} // namespace Orvella::Detail
