// Presentation of erased errors, re-titling, and the way back to the error beneath.

#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Errors/URLError.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

namespace {

struct PlainError final : Reactive::Error {
    std::string description() const override { return "Plattenfehler"; }
};

struct OfferingError final : Reactive::Error, PresentableError {
    std::string description() const override { return "offering"; }
    std::string subject() const override { return "Titel"; }
    std::string reason() const override { return "Grund"; }
    std::optional<RecoveryInfo> recoveryInfo() const override { return RecoveryInfo("Nochmal", 42); }
};

const RemoteError expired(RemoteError::Case::authenticationRequired);

} // namespace

TEST(AnyPresentableError, nonPresentableErrorsGetTheDefaultTexts)
{
    // An error that cannot present itself shows its description and the default reason with the period.
    Reactive::AnyError error(PlainError {});
    EXPECT_EQ(subject(error), "Plattenfehler");
    EXPECT_EQ(reason(error), "Die Aktion konnte nicht durchgeführt werden.");
    EXPECT_FALSE(recoveryInfo(error).has_value());
    EXPECT_TRUE(underlyingError(error).is<PlainError>());
}

TEST(AnyPresentableError, presentableErrorsShowTheirOwnTexts)
{
    // An erased presentable error keeps its texts and is its own underlying error.
    Reactive::AnyError error(expired);
    EXPECT_EQ(subject(error), "Aufruf fehlgeschlagen.");
    EXPECT_EQ(reason(error), "Session abgelaufen.");
    ASSERT_TRUE(underlyingError(error).is<RemoteError>());
    EXPECT_EQ(*underlyingError(error).as<RemoteError>(), expired);

    Reactive::AnyError offering(OfferingError {});
    ASSERT_TRUE(recoveryInfo(offering).has_value());
    EXPECT_EQ(recoveryInfo(offering)->title(), "Nochmal");
    EXPECT_EQ(std::any_cast<int>(recoveryInfo(offering)->action()), 42);
}

TEST(AnyPresentableError, wrappingCopiesTheThreeTexts)
{
    // A wrapper starts with the wrapped error's subject, reason and recovery, and may change them.
    AnyPresentableError wrapper { OfferingError {} };
    EXPECT_EQ(wrapper.subject(), "Titel");
    EXPECT_EQ(wrapper.reason(), "Grund");
    EXPECT_EQ(wrapper.recoveryInfo()->title(), "Nochmal");
    wrapper.setReason("Anders");
    EXPECT_EQ(wrapper.reason(), "Anders");
    EXPECT_TRUE(wrapper.underlyingError().is<OfferingError>());
}

TEST(AnyPresentableError, wrappedTransportErrorsComeBackUnwrapped)
{
    // The client's wrapping of a transport error is looked through: the URL error is the underlying error.
    Reactive::AnyError error(AnyPresentableError(URLError(URLError::Code::timedOut)));
    EXPECT_EQ(reason(error), "Zeitüberschreitung der Anforderung.");
    auto beneath = underlyingError(error);
    ASSERT_TRUE(beneath.is<URLError>());
    EXPECT_EQ(beneath.as<URLError>()->code(), URLError::Code::timedOut);
}

TEST(AnyPresentableError, errorWithSubjectReplacesOnlyTheHeadline)
{
    // Re-titling a service error keeps its reason and leads back to it.
    auto retitled = errorWithSubject(expired, "Freigabe fehlgeschlagen");
    EXPECT_EQ(subject(retitled), "Freigabe fehlgeschlagen");
    EXPECT_EQ(reason(retitled), "Session abgelaufen.");
    ASSERT_TRUE(underlyingError(retitled).is<RemoteError>());

    auto fromErased = updateSubject("Ordner fehlgeschlagen")(Reactive::AnyError(expired));
    EXPECT_EQ(subject(fromErased), "Ordner fehlgeschlagen");
    EXPECT_FALSE(RemoteError::matches(fromErased, RemoteError::Case::authenticationRequired));
    EXPECT_TRUE(RemoteError::matches(underlyingError(fromErased), RemoteError::Case::authenticationRequired));
    EXPECT_FALSE(RemoteError::matches(underlyingError(fromErased), RemoteError::Case::loginFailed));
    ASSERT_TRUE(underlyingError(fromErased).is<RemoteError>());
    EXPECT_EQ(*underlyingError(fromErased).as<RemoteError>(), expired);
}

TEST(AnyPresentableError, retitlingTwiceStopsAtTheInnerWrapper)
{
    // Two re-titlings: the newest headline shows, and the way back stops after one erased layer, at the first wrapper.
    auto first = updateSubject("A")(Reactive::AnyError(expired));
    auto second = updateSubject("B")(first);
    EXPECT_EQ(subject(second), "B");
    EXPECT_EQ(reason(second), "Session abgelaufen.");
    auto beneath = underlyingError(second);
    ASSERT_TRUE(beneath.is<AnyPresentableError>());
    EXPECT_EQ(beneath.as<AnyPresentableError>()->subject(), "A");
    EXPECT_TRUE(underlyingError(beneath).is<RemoteError>());
}

TEST(AnyPresentableError, concreteWrappersAreUnwrappedRecursively)
{
    // Re-titling a wrapper value wraps it again, and the way back goes through every wrapper value to the error.
    AnyPresentableError inner(expired);
    auto retitled = errorWithSubject(inner, "C");
    const auto* outer = retitled.as<AnyPresentableError>();
    ASSERT_NE(outer, nullptr);
    EXPECT_TRUE(outer->underlyingError().is<AnyPresentableError>());
    EXPECT_FALSE(outer->wrapsAnyError());
    EXPECT_TRUE(underlyingError(retitled).is<RemoteError>());
}

TEST(AnyPresentableError, erasedNonPresentableErrorIsReturnedAsItIs)
{
    // A wrapper around an erased error that cannot present itself unwraps to that erased error.
    Reactive::AnyError plain(PlainError {});
    AnyPresentableError wrapper(plain);
    EXPECT_EQ(wrapper.subject(), "Plattenfehler");
    EXPECT_TRUE(wrapper.wrapsAnyError());
    EXPECT_TRUE(wrapper.unmappedError().is<PlainError>());
}
