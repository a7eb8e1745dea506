#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/TransportErrors.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;
using PlatformCode = Platform::TransportError::Code;

TEST(TransportErrors, everyPlatformConditionKeepsItsNameAndGetsItsText)
{
    // Each condition the transport reports becomes the transport error of the same name, with the
    // German reason of that condition and the transport code kept.
    struct Case {
        PlatformCode from;
        URLError::Code to;
        const char* reason;
    };
    const char* generic = "Die Aktion konnte nicht durchgeführt werden.";
    std::vector<Case> cases {
        { PlatformCode::cancelled, URLError::Code::cancelled, "Die Aktion wurde abgebrochen." },
        { PlatformCode::timedOut, URLError::Code::timedOut, "Zeitüberschreitung der Anforderung." },
        { PlatformCode::cannotFindHost, URLError::Code::cannotFindHost, "Server nicht gefunden." },
        { PlatformCode::cannotConnectToHost, URLError::Code::cannotConnectToHost, "Serververbindung konnte nicht hergestellt werden." },
        { PlatformCode::networkConnectionLost, URLError::Code::networkConnectionLost, "Netzwerkverbindung verloren." },
        { PlatformCode::httpTooManyRedirects, URLError::Code::httpTooManyRedirects, "Zu viele Redirects." },
        { PlatformCode::secureConnectionFailed, URLError::Code::secureConnectionFailed, "Es konnte keine sichere Verbindung mit dem Server hergestellt werden." },
        { PlatformCode::serverCertificateUntrusted, URLError::Code::serverCertificateUntrusted, "Ungültiges Serverzertifikat." },
        { PlatformCode::cannotWriteToFile, URLError::Code::cannotWriteToFile, "Fehler beim Speichern der Datei." },
        { PlatformCode::redirectToOtherOrigin, URLError::Code::redirectToOtherOrigin, "Der Server hat auf eine fremde Adresse umgeleitet." },
        { PlatformCode::responseTooLarge, URLError::Code::responseTooLarge, "Die Antwort des Servers ist zu groß." },
        { PlatformCode::badURL, URLError::Code::badURL, generic },
        { PlatformCode::unsupportedURL, URLError::Code::unsupportedURL, generic },
        { PlatformCode::badServerResponse, URLError::Code::badServerResponse, generic },
        { PlatformCode::cannotDecodeContentData, URLError::Code::cannotDecodeContentData, generic },
        { PlatformCode::fileDoesNotExist, URLError::Code::fileDoesNotExist, generic },
        { PlatformCode::cannotOpenFile, URLError::Code::cannotOpenFile, generic },
        { PlatformCode::cannotCreateFile, URLError::Code::cannotCreateFile, generic },
        { PlatformCode::unknown, URLError::Code::unknown, generic },
    };
    for (const auto& mapping : cases) {
        auto error = transportError(Platform::TransportError(mapping.from, 42, "detail"));
        ASSERT_TRUE(error.is<AnyPresentableError>()) << Platform::TransportError::name(mapping.from);
        auto* underlying = underlyingError(error).as<URLError>();
        ASSERT_NE(underlying, nullptr);
        EXPECT_EQ(underlying->code(), mapping.to);
        EXPECT_EQ(underlying->transportCode(), 42);
        EXPECT_EQ(reason(error), mapping.reason);
        EXPECT_EQ(subject(error), "Aufruf fehlgeschlagen.");
    }
}

TEST(TransportErrors, responseHeadsKeepStatusFieldsAndFallBackToTheRequestURL)
{
    // The response head keeps status and fields; an unparsable answering URL gives way to the request's.
    Platform::HTTPResponseHead head { .statusCode = 404, .url = "not a url", .headers = { { "X-Error-Code", "5004" } } };
    auto response = httpURLResponse(head, "http://127.0.0.1:9/v2.0/files");
    ASSERT_TRUE(response.has_value());
    EXPECT_EQ(response->statusCode(), 404);
    EXPECT_EQ(response->url().absoluteString(), "http://127.0.0.1:9/v2.0/files");
    EXPECT_EQ(response->value("x-error-code"), "5004");
    EXPECT_FALSE(httpURLResponse(head, "also not a url").has_value());
}
