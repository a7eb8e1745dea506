#include "Reactive/AnyError.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace Reactive;

namespace {

enum class PlainError { broken, missing };

struct Presentable {
    virtual ~Presentable() = default;
    virtual std::string subject() const = 0;
};

struct ServiceError final : Error, Presentable {
    int code = 0;
    explicit ServiceError(int code) : code(code) {}
    std::string description() const override { return "service error " + std::to_string(code); }
    std::string subject() const override { return "Fehler"; }
};

struct Unrelated final : Error {
    std::string description() const override { return "unrelated"; }
};

struct PresentableValue : Presentable {
    std::string subject() const override { return "Betreff"; }
    std::string description() const { return "presentable value"; }
};

}

TEST(AnyErrorTests, KeepsErrorsDerivedFromErrorAsTheyAre)
{
    // An Error subclass is stored unboxed and found by its own type and its bases.
    AnyError error(ServiceError(42));
    ASSERT_NE(error.as<ServiceError>(), nullptr);
    EXPECT_EQ(error.as<ServiceError>()->code, 42);
    EXPECT_TRUE(error.is<Error>());
    EXPECT_FALSE(error.is<Unrelated>());
    EXPECT_EQ(error.description(), "service error 42");
}

TEST(AnyErrorTests, FindsAnUnrelatedBaseClassByCrossCast)
{
    // A test for an interface the error also implements succeeds without knowing the concrete type.
    AnyError error(ServiceError(7));
    ASSERT_NE(error.as<Presentable>(), nullptr);
    EXPECT_EQ(error.as<Presentable>()->subject(), "Fehler");

    AnyError boxed(PresentableValue {});
    ASSERT_NE(boxed.as<Presentable>(), nullptr);
    EXPECT_EQ(boxed.as<Presentable>()->subject(), "Betreff");
    EXPECT_EQ(boxed.description(), "presentable value");
}

TEST(AnyErrorTests, BoxesPlainValuesAndNeverNests)
{
    // Non-Error types are boxed and found again; wrapping an AnyError copies it instead of nesting.
    AnyError plain(PlainError::missing);
    ASSERT_NE(plain.as<PlainError>(), nullptr);
    EXPECT_EQ(*plain.as<PlainError>(), PlainError::missing);
    EXPECT_FALSE(plain.is<int>());

    AnyError text(std::string("kaputt"));
    EXPECT_EQ(text.description(), "kaputt");

    AnyError copy(plain);
    AnyError fromShared(std::make_shared<const AnyError>(plain));
    EXPECT_EQ(copy.pointer(), plain.pointer());
    EXPECT_EQ(fromShared.pointer(), plain.pointer());
    EXPECT_EQ(*fromShared.as<PlainError>(), PlainError::missing);
}
