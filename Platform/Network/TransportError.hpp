#pragma once

#include <string>

namespace Platform {

// Why a session task failed on the way, as opposed to an HTTP status the
// server chose. A value: the code says which condition it was, the transport
// code and message keep the details for logs.
class [[nodiscard]] TransportError {
public:
    // The conditions callers tell apart. Only used in memory, never persisted.
    enum class Code {
        unknown,
        // The task was cancelled, or its session was invalidated.
        cancelled,
        // The URL could not be parsed.
        badURL,
        // The URL's scheme is not http or https.
        unsupportedURL,
        // Nothing moved for the idle time-out, or connecting took too long.
        timedOut,
        // The host name could not be resolved.
        cannotFindHost,
        // The host refused or never answered the connection.
        cannotConnectToHost,
        // The connection broke during the exchange (reset, closed early, short body).
        networkConnectionLost,
        // The redirect limit was reached.
        httpTooManyRedirects,
        // A redirect led to another scheme, host or port than the request's.
        redirectToOtherOrigin,
        // The server's answer was no valid HTTP response.
        badServerResponse,
        // The TLS handshake failed.
        secureConnectionFailed,
        // The server's certificate was rejected.
        serverCertificateUntrusted,
        // The body was encoded in a way that could not be decoded.
        cannotDecodeContentData,
        // The decoded answer outgrew the request's `maximumBodySize`.
        responseTooLarge,
        // The upload's source file does not exist.
        fileDoesNotExist,
        // The upload's source file could not be opened or read.
        cannotOpenFile,
        // The download's temporary file could not be created.
        cannotCreateFile,
        // The download's temporary file could not be written.
        cannotWriteToFile,
    };

    TransportError(Code code, int transportCode, std::string message);

    [[nodiscard]] Code code() const { return m_code; }
    // The libcurl result code (CURLcode) behind the failure; 0 when it arose
    // outside the transfer (a missing source file, a cancel before start).
    [[nodiscard]] int transportCode() const { return m_transportCode; }
    // The transport's own description, for logs; never shown to users.
    [[nodiscard]] const std::string& message() const { return m_message; }

    // Maps a libcurl result code to its condition.
    [[nodiscard]] static Code codeForTransportCode(int transportCode);
    // The condition's name as written above ("timedOut"), for logs and tests.
    [[nodiscard]] static const char* name(Code code);

    friend bool operator==(const TransportError& left, const TransportError& right) { return left.m_code == right.m_code; }

private:
    Code m_code;
    int m_transportCode;
    std::string m_message;
};

} // namespace Platform
