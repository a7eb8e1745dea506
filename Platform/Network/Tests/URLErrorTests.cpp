// libcurl's result codes become the conditions callers tell apart.

#include "Platform/Network/URLError.hpp"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using Platform::URLError;

TEST(URLError, transportCodesMapToTheirConditions)
{
    // A verification failure of the peer says something about its certificate; other TLS failures do not.
    const std::vector<std::tuple<CURLcode, URLError::Code>> table {
        { CURLE_ABORTED_BY_CALLBACK, URLError::Code::cancelled },
        { CURLE_OPERATION_TIMEDOUT, URLError::Code::timedOut },
        { CURLE_COULDNT_CONNECT, URLError::Code::cannotConnectToHost },
        { CURLE_COULDNT_RESOLVE_HOST, URLError::Code::cannotFindHost },
        { CURLE_TOO_MANY_REDIRECTS, URLError::Code::httpTooManyRedirects },
        { CURLE_RECV_ERROR, URLError::Code::networkConnectionLost },
        { CURLE_PEER_FAILED_VERIFICATION, URLError::Code::serverCertificateUntrusted },
        { CURLE_SSL_CONNECT_ERROR, URLError::Code::secureConnectionFailed },
        { CURLE_URL_MALFORMAT, URLError::Code::badURL },
        { CURLE_READ_ERROR, URLError::Code::cannotOpenFile },
        { CURLE_WRITE_ERROR, URLError::Code::cannotWriteToFile },
        { CURLE_BAD_CONTENT_ENCODING, URLError::Code::cannotDecodeContentData },
        { CURLE_LDAP_CANNOT_BIND, URLError::Code::unknown },
    };
    for (const auto& [transportCode, expected] : table)
        EXPECT_EQ(URLError::codeForTransportCode(transportCode), expected) << URLError::name(expected);
}
