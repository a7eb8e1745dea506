// libcurl's result codes become the conditions callers tell apart.

#include "Platform/Network/TransportError.hpp"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using Platform::TransportError;

TEST(TransportError, transportCodesMapToTheirConditions)
{
    // A verification failure of the peer says something about its certificate; other TLS failures do not.
    const std::vector<std::tuple<CURLcode, TransportError::Code>> table {
        { CURLE_ABORTED_BY_CALLBACK, TransportError::Code::cancelled },
        { CURLE_OPERATION_TIMEDOUT, TransportError::Code::timedOut },
        { CURLE_COULDNT_CONNECT, TransportError::Code::cannotConnectToHost },
        { CURLE_COULDNT_RESOLVE_HOST, TransportError::Code::cannotFindHost },
        { CURLE_TOO_MANY_REDIRECTS, TransportError::Code::httpTooManyRedirects },
        { CURLE_RECV_ERROR, TransportError::Code::networkConnectionLost },
        { CURLE_PEER_FAILED_VERIFICATION, TransportError::Code::serverCertificateUntrusted },
        { CURLE_SSL_CONNECT_ERROR, TransportError::Code::secureConnectionFailed },
        { CURLE_URL_MALFORMAT, TransportError::Code::badURL },
        { CURLE_READ_ERROR, TransportError::Code::cannotOpenFile },
        { CURLE_WRITE_ERROR, TransportError::Code::cannotWriteToFile },
        { CURLE_BAD_CONTENT_ENCODING, TransportError::Code::cannotDecodeContentData },
        { CURLE_LDAP_CANNOT_BIND, TransportError::Code::unknown },
    };
    for (const auto& [transportCode, expected] : table)
        EXPECT_EQ(TransportError::codeForTransportCode(transportCode), expected) << TransportError::name(expected);
}
