// The client's own errors: batch counts and the equality rules.

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

TEST(APIClientError, batchReasonCountsItsErrors)
{
    // The batch reason is the number of failed operations, also for one and none.
    std::vector<Reactive::AnyError> three(3, Reactive::AnyError(RemoteError(RemoteError::Case::fileNotFound)));
    EXPECT_EQ(APIClientError::batch(three).reason(), "3 Vorgänge sind fehlgeschlagen");
    EXPECT_EQ(APIClientError::batch({ three.front() }).reason(), "1 Vorgänge sind fehlgeschlagen");
    EXPECT_EQ(APIClientError::batch({}).reason(), "0 Vorgänge sind fehlgeschlagen");
}

TEST(APIClientError, equalityFollowsCaseAndBody)
{
    // Parsing errors compare their bodies; batches never compare equal, not even with themselves.
    EXPECT_EQ(APIClientError::parsingError({}), APIClientError::parsingError({}));
    EXPECT_EQ(APIClientError::parsingError(Platform::Data::fromString("x")), APIClientError::parsingError(Platform::Data::fromString("x")));
    EXPECT_NE(APIClientError::parsingError(Platform::Data::fromString("x")), APIClientError::parsingError(Platform::Data::fromString("y")));
    EXPECT_NE(APIClientError::parsingError({}), APIClientError::notLoggedIn());
    EXPECT_EQ(APIClientError::notLoggedIn(), APIClientError::notLoggedIn());
    EXPECT_EQ(APIClientError::invalidDownload(), APIClientError::invalidDownload());
    EXPECT_NE(APIClientError::invalidDownload(), APIClientError::notLoggedIn());
    auto batch = APIClientError::batch({});
    EXPECT_NE(batch, batch);
}

TEST(APIClientError, parsingErrorCarriesItsBody)
{
    // The body that failed to parse stays available for error reports.
    auto body = Platform::Data::fromString("\xFF\xFE");
    EXPECT_EQ(APIClientError::parsingError(body).body(), body);
    EXPECT_EQ(APIClientError::parsingError(body).errorCase(), APIClientError::Case::parsingError);
}

TEST(APIClientError, invalidRequestPresentsItself)
{
    // A request its arguments cannot make reads as a failed call with its own reason.
    auto error = APIClientError::invalidRequest();
    EXPECT_EQ(error.subject(), "Aufruf fehlgeschlagen");
    EXPECT_EQ(error.reason(), "Unerwarteter Fehler beim Erstellen der Anfrage.");
    EXPECT_EQ(error.description(), "APIClientError.invalidRequest");
    EXPECT_EQ(error, APIClientError::invalidRequest());
    EXPECT_NE(error, APIClientError::invalidDownload());
}
