#pragma once

#include "Quarlink/Errors/PresentableError.hpp"
#include "Reactive/AnyError.hpp"

namespace Quarlink {

// The categories in which the transport reports a failed transfer. The
// transport layer names one of these together with its own code (libcurl's);
// `URLError::fromTransportFailure` turns the pair into the presentable error.
enum class TransportFailure {
    cancelled,
    timedOut,
    cannotConnect,
    cannotResolveHost,
    tooManyRedirects,
    connectionLost,
    tls,
    badURL,
    fileReadError,
    notConnected,
    other,
};

// A failure of the URL loading beneath the client: no network, time-out, bad
// certificate and the like. Presents itself with the headline "Aufruf
// fehlgeschlagen." and a reason chosen by its code. An immutable value.
class URLError final : public Reactive::Error, public PresentableError {
public:
    // The transport conditions that have texts of their own, and the others.
    enum class Code {
        cancelled,
        timedOut,
        dnsLookupFailed,
        cannotFindHost,
        cannotConnectToHost,
        networkConnectionLost,
        httpTooManyRedirects,
        resourceUnavailable,
        notConnectedToInternet,
        internationalRoamingOff,
        callIsActive,
        dataNotAllowed,
        secureConnectionFailed,
        serverCertificateHasUnknownRoot,
        serverCertificateNotYetValid,
        serverCertificateUntrusted,
        serverCertificateHasBadDate,
        cannotWriteToFile,
        cannotMoveFile,
        badURL,
        cannotOpenFile,
        // The conditions below have no text of their own either; they exist so
        // that every condition the transport tells apart has a code here.
        unsupportedURL,
        badServerResponse,
        cannotDecodeContentData,
        fileDoesNotExist,
        cannotCreateFile,
        unknown,
    };

    // `transportCode` is the transport's own code (libcurl's), kept for diagnostics; 0 when none.
    explicit URLError(Code code, int transportCode = 0)
        : m_code(code)
        , m_transportCode(transportCode)
    {
    }

    // The error for a failure the transport reports. A TLS failure whose
    // libcurl code says the peer's certificate did not verify becomes
    // `serverCertificateUntrusted`; any other TLS failure `secureConnectionFailed`.
    [[nodiscard]] static URLError fromTransportFailure(TransportFailure failure, int transportCode);

    [[nodiscard]] Code code() const { return m_code; }
    [[nodiscard]] int transportCode() const { return m_transportCode; }

    [[nodiscard]] std::string subject() const override;
    [[nodiscard]] std::string reason() const override;
    [[nodiscard]] std::string description() const override;

    friend bool operator==(const URLError& left, const URLError& right)
    {
        return left.m_code == right.m_code && left.m_transportCode == right.m_transportCode;
    }

private:
    Code m_code;
    int m_transportCode;
};

// The name of a code as the URL loading names it ("cannotFindHost").
[[nodiscard]] const char* codeName(URLError::Code code);

} // namespace Quarlink
