#include "Platform/Network/TransportError.hpp"

#include <curl/curl.h>

namespace Platform {

TransportError::TransportError(Code code, int transportCode, std::string message)
    : m_code(code)
    , m_transportCode(transportCode)
    , m_message(std::move(message))
{
}

TransportError::Code TransportError::codeForTransportCode(int transportCode)
{
    switch (static_cast<CURLcode>(transportCode)) {
    case CURLE_ABORTED_BY_CALLBACK:
        return Code::cancelled;
    case CURLE_URL_MALFORMAT:
        return Code::badURL;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return Code::unsupportedURL;
    case CURLE_OPERATION_TIMEDOUT:
        return Code::timedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return Code::cannotFindHost;
    case CURLE_COULDNT_CONNECT:
        return Code::cannotConnectToHost;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
        return Code::networkConnectionLost;
    case CURLE_TOO_MANY_REDIRECTS:
        return Code::httpTooManyRedirects;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_RANGE_ERROR:
        return Code::badServerResponse;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CLIENTCERT:
        return Code::secureConnectionFailed;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
        return Code::serverCertificateUntrusted;
    case CURLE_BAD_CONTENT_ENCODING:
        return Code::cannotDecodeContentData;
    case CURLE_READ_ERROR:
        return Code::cannotOpenFile;
    case CURLE_WRITE_ERROR:
        return Code::cannotWriteToFile;
    default:
        return Code::unknown;
    }
}

const char* TransportError::name(Code code)
{
    switch (code) {
    case Code::unknown: return "unknown";
    case Code::cancelled: return "cancelled";
    case Code::badURL: return "badURL";
    case Code::unsupportedURL: return "unsupportedURL";
    case Code::timedOut: return "timedOut";
    case Code::cannotFindHost: return "cannotFindHost";
    case Code::cannotConnectToHost: return "cannotConnectToHost";
    case Code::networkConnectionLost: return "networkConnectionLost";
    case Code::httpTooManyRedirects: return "httpTooManyRedirects";
    case Code::redirectToOtherOrigin: return "redirectToOtherOrigin";
    case Code::badServerResponse: return "badServerResponse";
    case Code::secureConnectionFailed: return "secureConnectionFailed";
    case Code::serverCertificateUntrusted: return "serverCertificateUntrusted";
    case Code::cannotDecodeContentData: return "cannotDecodeContentData";
    case Code::responseTooLarge: return "responseTooLarge";
    case Code::fileDoesNotExist: return "fileDoesNotExist";
    case Code::cannotOpenFile: return "cannotOpenFile";
    case Code::cannotCreateFile: return "cannotCreateFile";
    case Code::cannotWriteToFile: return "cannotWriteToFile";
    }
    return "unknown";
}

} // namespace Platform
