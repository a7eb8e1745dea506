// Every German text the library's errors present, compared byte for byte.

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Errors/URLError.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace Quarlink;

namespace {

struct RemoteText {
    RemoteError::Case errorCase;
    const char* reason;
};

// The catalogue as the user reads it; texts without a closing full stop are
// deliberate.
const std::vector<RemoteText> remoteTexts {
    { RemoteError::Case::batchRequestFailed, "Die Aktion konnte nicht durchgeführt werden" },
    { RemoteError::Case::requestFailed, "Die Aktion konnte nicht durchgeführt werden" },
    { RemoteError::Case::authenticationRequired, "Session abgelaufen." },
    { RemoteError::Case::loginFailed, "E-Mail-Adresse oder Passwort ungültig. Bitte achten Sie auf Groß- und Kleinschreibung." },
    { RemoteError::Case::accountTemporaryLocked, "E-Mail-Adresse oder Passwort mehrmals falsch eingeben. Zu Ihrer Sicherheit wurde dieser Account für 10 Minuten gesperrt." },
    { RemoteError::Case::accountPermanentlyLocked, "Ihr Account ist dauerhaft gesperrt." },
    { RemoteError::Case::fileNotFound, "Datei ist nicht mehr vorhanden." },
    { RemoteError::Case::folderAlreadyExists, "Ein Ordner mit diesem Namen existiert bereits.\nBitte wählen Sie einen anderen Namen." },
    { RemoteError::Case::fileAlreadyExists, "Eine Datei mit diesem Namen existiert bereits.\nBitte wählen Sie einen anderen Namen." },
    { RemoteError::Case::filesNotMoved, "Eine oder Mehrere Datein konnte nicht verschoben werden." },
    { RemoteError::Case::storageExhausted, "Upload nicht erfolgreich.\nIhr Cloud Speicher ist voll" },
    { RemoteError::Case::invalidFilePath, "Der Dateipfad überschreitet die maximal zulässige Anzahl an Zeichen." },
    { RemoteError::Case::invalidFileName, "Der Dateiname darf folgende Zeichen nicht enthalten: /<>:\"|?*\\\n." },
    { RemoteError::Case::invalidFileNameLength, "Der Dateiname darf nicht mehr als 255 Zeichen beinhalten." },
    { RemoteError::Case::notEnoughStorageToAcceptShare, "Ihr Speicherplatz reicht nicht aus, um auf den Ordner zuzugreifen. Löschen Sie Dateien oder erweitern Sie Ihren Speicherplatz." },
    { RemoteError::Case::imapConnectionFailed, "Die Aktion konnte nicht durchgeführt werden" },
    { RemoteError::Case::mailNotFound, "Die Nachricht konnte nicht geladen werden." },
    { RemoteError::Case::bodyCouldNotBeLoaded, "Die Nachricht konnte nicht geladen werden." },
    { RemoteError::Case::invalidRecipientList, "Nachricht konnte nicht gesendet werden. Bitte überprüfen Sie Ihre Angaben in der Empfängerliste." },
    { RemoteError::Case::attachmentSizeExceeded, "Der Anhang ist zu groß und kann nicht versendet werden." },
    { RemoteError::Case::bodySizeExceeded, "Die E-Mail konnte nicht versendet werden, da die Nachricht die zulässige Größe überschreitet. Sie kann im Ausgang bearbeitet werden." },
    { RemoteError::Case::mailQuotaExceeded, "Ihre E-Mail konnte nicht versendet werden, da Ihr aktueller Speicherplatz nicht ausreicht. Bitte erweitern Sie Ihren Speicherplatz oder löschen Sie Ihre E-Mails." },
    { RemoteError::Case::mailFolderNotFound, "Der Ordner wurde nicht gefunden." },
    { RemoteError::Case::externalAccountLoginFailed, "Die Authentifizierung ist fehlgeschlagen. Bitte prüfen Sie ihre E-Mail-Adresse und ihr Passwort." },
    { RemoteError::Case::externalAccountInvalidServerInfo, "Der Mail-Server konnte nicht gefunden werden." },
    { RemoteError::Case::externalAccountAlreadyAdded, "Dieses Postfach wurde bereits hinzugefügt." },
    { RemoteError::Case::externalAccountLimitReached, "Sie haben Ihr Limit an Postfächern erreicht." },
    { RemoteError::Case::illegalOperation, "Diese Aktion ist nicht erlaubt." },
    { RemoteError::Case::illegalShareOperation, "Freigegebene Ordner dürfen keine Freigaben (Ordner oder Dateien) enthalten." },
    { RemoteError::Case::rateLimitingReached, "Das Rate-Limiting wurde erreicht. Bitte versuchen Sie es später nochmal." },
};

struct TransportText {
    URLError::Code code;
    const char* reason;
};

const std::vector<TransportText> transportTexts {
    { URLError::Code::cancelled, "Die Aktion wurde abgebrochen." },
    { URLError::Code::timedOut, "Zeitüberschreitung der Anforderung." },
    { URLError::Code::dnsLookupFailed, "Server nicht gefunden." },
    { URLError::Code::cannotFindHost, "Server nicht gefunden." },
    { URLError::Code::cannotConnectToHost, "Serververbindung konnte nicht hergestellt werden." },
    { URLError::Code::networkConnectionLost, "Netzwerkverbindung verloren." },
    { URLError::Code::httpTooManyRedirects, "Zu viele Redirects." },
    { URLError::Code::resourceUnavailable, "Nicht gefunden" },
    { URLError::Code::notConnectedToInternet, "Es besteht keine Internetverbindung." },
    { URLError::Code::internationalRoamingOff, "Internationales Roaming ist deaktiviert." },
    { URLError::Code::callIsActive, "Datenverbindung durch laufenden Anruf deaktiviert." },
    { URLError::Code::dataNotAllowed, "Der Zugriff auf das mobile Datennetzwerk ist für die App deaktiviert." },
    { URLError::Code::secureConnectionFailed, "Es konnte keine sichere Verbindung mit dem Server hergestellt werden." },
    { URLError::Code::serverCertificateHasUnknownRoot, "Ungültiges Serverzertifikat." },
    { URLError::Code::serverCertificateNotYetValid, "Ungültiges Serverzertifikat." },
    { URLError::Code::serverCertificateUntrusted, "Ungültiges Serverzertifikat." },
    { URLError::Code::serverCertificateHasBadDate, "Ungültiges Serverzertifikat." },
    { URLError::Code::cannotWriteToFile, "Fehler beim Speichern der Datei." },
    { URLError::Code::cannotMoveFile, "Fehler beim Verschieben der Datei." },
    { URLError::Code::redirectToOtherOrigin, "Der Server hat auf eine fremde Adresse umgeleitet." },
    { URLError::Code::responseTooLarge, "Die Antwort des Servers ist zu groß." },
    { URLError::Code::badURL, "Die Aktion konnte nicht durchgeführt werden." },
    { URLError::Code::cannotOpenFile, "Die Aktion konnte nicht durchgeführt werden." },
    { URLError::Code::unsupportedURL, "Die Aktion konnte nicht durchgeführt werden." },
    { URLError::Code::badServerResponse, "Die Aktion konnte nicht durchgeführt werden." },
    { URLError::Code::cannotDecodeContentData, "Die Aktion konnte nicht durchgeführt werden." },
    { URLError::Code::fileDoesNotExist, "Die Aktion konnte nicht durchgeführt werden." },
    { URLError::Code::cannotCreateFile, "Die Aktion konnte nicht durchgeführt werden." },
    { URLError::Code::unknown, "Die Aktion konnte nicht durchgeführt werden." },
};

} // namespace

TEST(ErrorTexts, everyRemoteCaseHasItsSubjectReasonAndNoRecovery)
{
    // Each service error case presents exactly its catalogue text under the headline with the period.
    ASSERT_EQ(remoteTexts.size(), 30u) << "every case but passThrough is listed";
    for (const auto& [errorCase, reason] : remoteTexts) {
        RemoteError error = errorCase == RemoteError::Case::requestFailed
            ? RemoteError::requestFailed(9999, "x", HTTPURLResponse(*Platform::URL::create("http://127.0.0.1/"), 500, {}), {})
            : errorCase == RemoteError::Case::batchRequestFailed ? RemoteError::batchRequestFailed(17, "x")
                                                                 : RemoteError(errorCase);
        SCOPED_TRACE(caseName(errorCase));
        EXPECT_EQ(error.subject(), "Aufruf fehlgeschlagen.");
        EXPECT_EQ(error.reason(), reason);
        EXPECT_FALSE(error.recoveryInfo().has_value());
    }
}

TEST(ErrorTexts, passThroughPresentsItsMessageWordForWord)
{
    // The service's own message is the reason of a pass-through error, unchanged.
    RemoteError error = RemoteError::passThrough("Bitte \"so\" nicht\\\n");
    EXPECT_EQ(error.subject(), "Aufruf fehlgeschlagen.");
    EXPECT_EQ(error.reason(), "Bitte \"so\" nicht\\\n");
}

TEST(ErrorTexts, everyTransportCodeHasItsReason)
{
    // Each transport condition presents its text under the headline with the period.
    for (const auto& [code, reason] : transportTexts) {
        URLError error(code);
        SCOPED_TRACE(codeName(code));
        EXPECT_EQ(error.subject(), "Aufruf fehlgeschlagen.");
        EXPECT_EQ(error.reason(), reason);
        EXPECT_FALSE(error.recoveryInfo().has_value());
    }
}

TEST(ErrorTexts, clientErrorsUseTheHeadlineWithoutPeriod)
{
    // The client's own errors present their texts under "Aufruf fehlgeschlagen" without the period.
    const std::vector<std::pair<APIClientError, const char*>> cases {
        { APIClientError::parsingError({}), "Unerwarteter Fehler beim Verarbeiten der Response." },
        { APIClientError::batch({}), "0 Vorgänge sind fehlgeschlagen" },
        { APIClientError::notLoggedIn(), "Nicht angemeldet" },
        { APIClientError::invalidDownload(), "Unerwarteter Fehler beim Verarbeiten der Datei." },
    };
    for (const auto& [error, reason] : cases) {
        EXPECT_EQ(error.subject(), "Aufruf fehlgeschlagen");
        EXPECT_EQ(error.reason(), reason);
        EXPECT_FALSE(error.recoveryInfo().has_value());
    }
}

TEST(ErrorTexts, umlautsAreEncodedAsUTF8)
{
    // The texts leave the library as UTF-8 bytes, whatever the source file's editor did.
    EXPECT_EQ(URLError(URLError::Code::timedOut).reason(), "Zeit\xC3\xBC" "berschreitung der Anforderung.");
    EXPECT_EQ(RemoteError(RemoteError::Case::attachmentSizeExceeded).reason(),
        "Der Anhang ist zu gro\xC3\x9F und kann nicht versendet werden.");
    EXPECT_EQ(RemoteError(RemoteError::Case::invalidFileName).reason(),
        "Der Dateiname darf folgende Zeichen nicht enthalten: /<>:\x22|?*\x5C\x0A.");
}
