#include "Orvella/Resolver/Binder.hpp"
#include "Orvella/Resolver/Resolver.hpp"
#include "Orvella/Resolver/Tests/BindingModule.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace Orvella;
using Orvella::Testing::modules;

namespace {

// Eight distinct keys, each knowing its place, so a product can show which
// instance landed in which parameter.
template<int N>
struct Part {
    int place = N;
};

template<class... Parts>
struct Assembly {
    explicit Assembly(std::shared_ptr<Parts>... parts) : places{parts->place...} {}
    std::vector<int> places;
};

struct Interface {
    virtual ~Interface() = default;
    virtual std::vector<int> places() const = 0;
};

struct OtherInterface {
    virtual ~OtherInterface() = default;
    virtual std::vector<int> places() const = 0;
};

template<class... Parts>
struct Implementation final : Interface, OtherInterface {
    explicit Implementation(std::shared_ptr<Parts>... parts) : assembly(std::move(parts)...) {}
    std::vector<int> places() const override { return assembly.places; }
    Assembly<Parts...> assembly;
};

void bindParts(Binder& binder)
{
    binder.bind<Part<1>>(Scope::single);
    binder.bind<Part<2>>(Scope::transient);
    binder.bind<Part<3>>(Scope::single);
    binder.bind<Part<4>>(Scope::transient);
    binder.bind<Part<5>>(Scope::single);
    binder.bind<Part<6>>(Scope::transient);
    binder.bind<Part<7>>(Scope::single);
}

struct Base {
    virtual ~Base() = default;
};
struct Derived : Base {};
struct Unrelated {};
struct Hidden : private Base {};

template<class Requested, class Target>
concept CanAlias = requires(Binder& binder) { binder.alias<Requested, Target>(); };

template<class Key, class Product, class... Parameters>
concept CanBind = requires(Binder& binder) { binder.bind<Key, Product, Parameters...>(Scope::single); };

template<class Key, class Constructor>
concept CanBindConstructor = requires(Binder& binder, Constructor constructor) {
    binder.bind<Key>(Scope::single, constructor);
};

template<class Key, class Factory>
concept CanAddBinding = requires(Binder& binder, Factory factory) { binder.addBinding<Key>(Scope::single, factory); };

} // namespace

// Aliases are checked when the module is compiled: only to a public base.
static_assert(CanAlias<Base, Derived>);
static_assert(!CanAlias<Derived, Base>);
static_assert(!CanAlias<Base, Unrelated>);
static_assert(!CanAlias<Base, Hidden>);
static_assert(!CanAlias<Base, Base>);
static_assert(!CanAlias<const Base, Derived>);
// Typed constructors must fit the product and the key.
static_assert(CanBind<Base, Derived>);
static_assert(!CanBind<Derived, Base>);
static_assert(!CanBind<Assembly<Part<1>>, Assembly<Part<1>>, Part<2>>);
static_assert(CanBindConstructor<Base, std::shared_ptr<Derived> (*)(std::shared_ptr<Part<1>>)>);
static_assert(!CanBindConstructor<Base, std::shared_ptr<Unrelated> (*)(std::shared_ptr<Part<1>>)>);
static_assert(!CanBindConstructor<Base, std::shared_ptr<Derived> (*)(Part<1>)>);
static_assert(!CanBindConstructor<Base, std::shared_ptr<Derived> (*)(std::shared_ptr<Part<1>>&)>);
// A factory that could change its captures while threads call it is refused.
static_assert(CanAddBinding<Base, std::shared_ptr<Derived> (*)(Resolver&)>);
static_assert(!CanAddBinding<Base, std::shared_ptr<Unrelated> (*)(Resolver&)>);
static_assert(!CanAddBinding<Base, decltype([counter = 0](Resolver&) mutable {
    ++counter;
    return std::make_shared<Base>();
})>);

TEST(BinderTests, TypedConstructorsOfZeroToSevenParametersResolveEachByType)
{
    // Every arity from 0 to 7 gets each parameter resolved by its type, in
    // order, both as a product type and as a constructor function.
    Resolver resolver(modules([](Binder& binder) {
        bindParts(binder);
        binder.bind<Assembly<>>(Scope::transient);
        binder.bind<Assembly<Part<1>>, Assembly<Part<1>>, Part<1>>(Scope::transient);
        binder.bind<Assembly<Part<2>, Part<1>>, Assembly<Part<2>, Part<1>>, Part<2>, Part<1>>(Scope::transient);
        binder.bind<Assembly<Part<1>, Part<2>, Part<3>>, Assembly<Part<1>, Part<2>, Part<3>>, Part<1>, Part<2>, Part<3>>(
            Scope::single);
        binder.bind<Interface, Implementation<Part<4>, Part<3>, Part<2>, Part<1>>, Part<4>, Part<3>, Part<2>, Part<1>>(
            Scope::transient);
        binder.bind<Assembly<Part<1>, Part<2>, Part<3>, Part<4>, Part<5>>>(Scope::transient,
            [](std::shared_ptr<Part<1>> a, const std::shared_ptr<Part<2>>& b, std::shared_ptr<Part<3>> c,
                std::shared_ptr<Part<4>> d, std::shared_ptr<Part<5>> e) {
                return std::make_shared<Assembly<Part<1>, Part<2>, Part<3>, Part<4>, Part<5>>>(a, b, c, d, e);
            });
        binder.bind<Assembly<Part<6>, Part<5>, Part<4>, Part<3>, Part<2>, Part<1>>,
            Assembly<Part<6>, Part<5>, Part<4>, Part<3>, Part<2>, Part<1>>, Part<6>, Part<5>, Part<4>, Part<3>, Part<2>,
            Part<1>>(Scope::transient);
        binder.bind<OtherInterface>(Scope::single,
            [](std::shared_ptr<Part<7>> a, std::shared_ptr<Part<6>> b, std::shared_ptr<Part<5>> c,
                std::shared_ptr<Part<4>> d, std::shared_ptr<const Part<3>> e, std::shared_ptr<Part<2>> f,
                std::shared_ptr<Part<1>> g) {
                return std::make_shared<Implementation<Part<7>, Part<6>, Part<5>, Part<4>, Part<3>, Part<2>, Part<1>>>(
                    a, b, c, d, std::const_pointer_cast<Part<3>>(e), f, g);
            });
    }));

    EXPECT_EQ(resolver.resolve<Assembly<>>().value()->places, std::vector<int>{});
    EXPECT_EQ(resolver.resolve<Assembly<Part<1>>>().value()->places, std::vector<int>{1});
    EXPECT_EQ((resolver.resolve<Assembly<Part<2>, Part<1>>>().value()->places), (std::vector<int>{2, 1}));
    EXPECT_EQ((resolver.resolve<Assembly<Part<1>, Part<2>, Part<3>>>().value()->places), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ((resolver.resolve<Assembly<Part<1>, Part<2>, Part<3>, Part<4>, Part<5>>>().value()->places),
        (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ((resolver.resolve<Assembly<Part<6>, Part<5>, Part<4>, Part<3>, Part<2>, Part<1>>>().value()->places),
        (std::vector<int>{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(resolver.resolve<Interface>().value()->places(), (std::vector<int>{4, 3, 2, 1}));
    EXPECT_EQ(resolver.resolve<OtherInterface>().value()->places(), (std::vector<int>{7, 6, 5, 4, 3, 2, 1}));
}

TEST(BinderTests, FailingParameterFailsTheBindingAndStopsTheRest)
{
    // The first parameter that cannot be resolved is the error, and the
    // parameters after it are not resolved at all.
    int laterResolved = 0;
    Resolver resolver(modules([&](Binder& binder) {
        binder.bind<Part<1>>(Scope::transient);
        binder.addBinding<Part<3>>(Scope::transient, [&](Resolver&) {
            ++laterResolved;
            return std::make_shared<Part<3>>();
        });
        binder.bind<Assembly<Part<1>, Part<2>, Part<3>>, Assembly<Part<1>, Part<2>, Part<3>>, Part<1>, Part<2>, Part<3>>(
            Scope::single);
    }));

    auto result = resolver.resolve<Assembly<Part<1>, Part<2>, Part<3>>>();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code(), ResolutionError::Code::unboundKey);
    EXPECT_EQ(result.error().key(), ResolutionError::nameOf(typeid(Part<2>)));
    EXPECT_EQ(laterResolved, 0);
}

TEST(BinderTests, ConstructCallsAFunctionWithResolvedParameters)
{
    // Outside any binding, the container fills a function's parameters.
    Resolver resolver(modules(bindParts));
    auto sum = resolver.construct([](std::shared_ptr<Part<2>> two, std::shared_ptr<Part<5>> five) {
        return two->place * 10 + five->place;
    });
    ASSERT_TRUE(sum);
    EXPECT_EQ(*sum, 25);

    auto placeOf = +[](std::shared_ptr<Part<3>> three) { return three->place; };
    EXPECT_EQ(resolver.construct(placeOf).value(), 3);

    auto assembly = resolver.construct<Assembly<Part<7>, Part<1>>, Part<7>, Part<1>>();
    ASSERT_TRUE(assembly);
    EXPECT_EQ((*assembly)->places, (std::vector<int>{7, 1}));

    auto missing = resolver.construct<Assembly<Part<8>>, Part<8>>();
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().key(), ResolutionError::nameOf(typeid(Part<8>)));
}
