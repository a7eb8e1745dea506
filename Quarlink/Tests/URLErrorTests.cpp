// Transport failures reported by the transport become presentable URL errors.

#include "Quarlink/Errors/URLError.hpp"

#include <curl/curl.h>
#include <gtest/gtest.h>

using namespace Quarlink;

TEST(URLError, transportFailuresMapToTheirCodes)
{
    // Each failure category the transport reports becomes the condition with the matching German text.
    const std::vector<std::tuple<TransportFailure, int, URLError::Code>> table {
        { TransportFailure::cancelled, CURLE_ABORTED_BY_CALLBACK, URLError::Code::cancelled },
        { TransportFailure::timedOut, CURLE_OPERATION_TIMEDOUT, URLError::Code::timedOut },
        { TransportFailure::cannotConnect, CURLE_COULDNT_CONNECT, URLError::Code::cannotConnectToHost },
        { TransportFailure::cannotResolveHost, CURLE_COULDNT_RESOLVE_HOST, URLError::Code::cannotFindHost },
        { TransportFailure::tooManyRedirects, CURLE_TOO_MANY_REDIRECTS, URLError::Code::httpTooManyRedirects },
        { TransportFailure::connectionLost, CURLE_RECV_ERROR, URLError::Code::networkConnectionLost },
        { TransportFailure::tls, CURLE_PEER_FAILED_VERIFICATION, URLError::Code::serverCertificateUntrusted },
        { TransportFailure::tls, CURLE_SSL_CONNECT_ERROR, URLError::Code::secureConnectionFailed },
        { TransportFailure::badURL, CURLE_URL_MALFORMAT, URLError::Code::badURL },
        { TransportFailure::fileReadError, CURLE_READ_ERROR, URLError::Code::cannotOpenFile },
        { TransportFailure::notConnected, CURLE_COULDNT_CONNECT, URLError::Code::notConnectedToInternet },
        { TransportFailure::other, CURLE_SEND_ERROR, URLError::Code::unknown },
    };
    for (const auto& [failure, curlCode, expected] : table) {
        auto error = URLError::fromTransportFailure(failure, curlCode);
        EXPECT_EQ(error.code(), expected) << codeName(expected);
        EXPECT_EQ(error.transportCode(), curlCode);
    }
}

TEST(URLError, sameTextForBothHostLookupConditions)
{
    // A failed name lookup reads the same whichever condition reported it.
    EXPECT_EQ(URLError(URLError::Code::cannotFindHost).reason(), URLError(URLError::Code::dnsLookupFailed).reason());
}

TEST(URLError, unknownConditionsUseTheDefaultTextWithPeriod)
{
    // A malformed URL has no text of its own and reads "Die Aktion konnte nicht durchgeführt werden." with the period.
    EXPECT_EQ(URLError::fromTransportFailure(TransportFailure::badURL, CURLE_URL_MALFORMAT).reason(),
        "Die Aktion konnte nicht durchgeführt werden.");
}
