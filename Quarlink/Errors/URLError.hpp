#pragma once

#include "Platform/Network/TransportError.hpp"
#include "Quarlink/Errors/PresentableError.hpp"
#include "Reactive/AnyError.hpp"

namespace Quarlink {

// A failure of the URL loading beneath the client: no network, time-out, bad
// certificate and the like. Presents itself with the headline "Aufruf
// fehlgeschlagen." and a reason chosen by its code. An immutable value.
//
// The thin, presentable view of `Platform::TransportError`: each condition the
// platform's session tells apart keeps its name here, with its transport code;
// the further codes are conditions with texts of their own that this platform
// never reports.
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
        // The service redirected to another scheme, host or port.
        redirectToOtherOrigin,
        // The service's answer outgrew what the request keeps in memory.
        responseTooLarge,
        // The conditions below have no text of their own either; they exist so
        // that every condition the transport tells apart has a code here.
        unsupportedURL,
        badServerResponse,
        cannotDecodeContentData,
        fileDoesNotExist,
        cannotCreateFile,
        unknown,
    };

    // `transportCode` is the transport's own code, kept for diagnostics; 0 when none.
    explicit URLError(Code code, int transportCode = 0)
        : m_code(code)
        , m_transportCode(transportCode)
    {
    }

    // The view of a failure the platform's session reports.
    explicit URLError(const Platform::TransportError& error);

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
