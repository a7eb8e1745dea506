// Transport failures reported by the transport become presentable URL errors.

#include "Quarlink/Errors/URLError.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

TEST(URLError, viewOfThePlatformError)
{
    // The view keeps the platform's condition and transport code.
    URLError error(Platform::TransportError(Platform::TransportError::Code::serverCertificateUntrusted, 60, "detail"));
    EXPECT_EQ(error.code(), URLError::Code::serverCertificateUntrusted);
    EXPECT_EQ(error.transportCode(), 60);
}

TEST(URLError, sameTextForBothHostLookupConditions)
{
    // A failed name lookup reads the same whichever condition reported it.
    EXPECT_EQ(URLError(URLError::Code::cannotFindHost).reason(), URLError(URLError::Code::dnsLookupFailed).reason());
}

TEST(URLError, unknownConditionsUseTheDefaultTextWithPeriod)
{
    // A malformed URL has no text of its own and reads "Die Aktion konnte nicht durchgeführt werden." with the period.
    EXPECT_EQ(URLError(Platform::TransportError(Platform::TransportError::Code::badURL, 3, "")).reason(),
        "Die Aktion konnte nicht durchgeführt werden.");
}
