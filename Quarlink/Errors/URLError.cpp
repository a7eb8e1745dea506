#include "Quarlink/Errors/URLError.hpp"

#include "Quarlink/Errors/ErrorTexts.hpp"

namespace Quarlink {

namespace {

URLError::Code codeFor(Platform::TransportError::Code code)
{
    using From = Platform::TransportError::Code;
    using To = URLError::Code;
    switch (code) {
    case From::cancelled: return To::cancelled;
    case From::badURL: return To::badURL;
    case From::unsupportedURL: return To::unsupportedURL;
    case From::timedOut: return To::timedOut;
    case From::cannotFindHost: return To::cannotFindHost;
    case From::cannotConnectToHost: return To::cannotConnectToHost;
    case From::networkConnectionLost: return To::networkConnectionLost;
    case From::httpTooManyRedirects: return To::httpTooManyRedirects;
    case From::redirectToOtherOrigin: return To::redirectToOtherOrigin;
    case From::responseTooLarge: return To::responseTooLarge;
    case From::badServerResponse: return To::badServerResponse;
    case From::secureConnectionFailed: return To::secureConnectionFailed;
    case From::serverCertificateUntrusted: return To::serverCertificateUntrusted;
    case From::cannotDecodeContentData: return To::cannotDecodeContentData;
    case From::fileDoesNotExist: return To::fileDoesNotExist;
    case From::cannotOpenFile: return To::cannotOpenFile;
    case From::cannotCreateFile: return To::cannotCreateFile;
    case From::cannotWriteToFile: return To::cannotWriteToFile;
    case From::unknown: break;
    }
    return To::unknown;
}

} // namespace

URLError::URLError(const Platform::TransportError& error)
    : URLError(codeFor(error.code()), error.transportCode())
{
}

std::string URLError::subject() const
{
    return ErrorTexts::callFailedWithPeriod;
}

std::string URLError::reason() const
{
    switch (m_code) {
    case Code::cancelled:
        return "Die Aktion wurde abgebrochen.";
    case Code::timedOut:
        return "Zeitüberschreitung der Anforderung.";
    case Code::dnsLookupFailed:
    case Code::cannotFindHost:
        return "Server nicht gefunden.";
    case Code::cannotConnectToHost:
        return "Serververbindung konnte nicht hergestellt werden.";
    case Code::networkConnectionLost:
        return "Netzwerkverbindung verloren.";
    case Code::httpTooManyRedirects:
        return "Zu viele Redirects.";
    case Code::resourceUnavailable:
        return "Nicht gefunden";
    case Code::notConnectedToInternet:
        return "Es besteht keine Internetverbindung.";
    case Code::internationalRoamingOff:
        return "Internationales Roaming ist deaktiviert.";
    case Code::callIsActive:
        return "Datenverbindung durch laufenden Anruf deaktiviert.";
    case Code::dataNotAllowed:
        return "Der Zugriff auf das mobile Datennetzwerk ist für die App deaktiviert.";
    case Code::secureConnectionFailed:
        return "Es konnte keine sichere Verbindung mit dem Server hergestellt werden.";
    case Code::serverCertificateHasUnknownRoot:
    case Code::serverCertificateNotYetValid:
    case Code::serverCertificateUntrusted:
    case Code::serverCertificateHasBadDate:
        return "Ungültiges Serverzertifikat.";
    case Code::cannotWriteToFile:
        return "Fehler beim Speichern der Datei.";
    case Code::cannotMoveFile:
        return "Fehler beim Verschieben der Datei.";
    case Code::redirectToOtherOrigin:
        return "Der Server hat auf eine fremde Adresse umgeleitet.";
    case Code::responseTooLarge:
        return "Die Antwort des Servers ist zu groß.";
    case Code::badURL:
    case Code::cannotOpenFile:
    case Code::unsupportedURL:
    case Code::badServerResponse:
    case Code::cannotDecodeContentData:
    case Code::fileDoesNotExist:
    case Code::cannotCreateFile:
    case Code::unknown:
        break;
    }
    return ErrorTexts::actionFailedWithPeriod;
}

std::string URLError::description() const
{
    return std::string("URLError.") + codeName(m_code) + " (transport code " + std::to_string(m_transportCode) + ")";
}

const char* codeName(URLError::Code code)
{
    using Code = URLError::Code;
    switch (code) {
    case Code::cancelled: return "cancelled";
    case Code::timedOut: return "timedOut";
    case Code::dnsLookupFailed: return "dnsLookupFailed";
    case Code::cannotFindHost: return "cannotFindHost";
    case Code::cannotConnectToHost: return "cannotConnectToHost";
    case Code::networkConnectionLost: return "networkConnectionLost";
    case Code::httpTooManyRedirects: return "httpTooManyRedirects";
    case Code::resourceUnavailable: return "resourceUnavailable";
    case Code::notConnectedToInternet: return "notConnectedToInternet";
    case Code::internationalRoamingOff: return "internationalRoamingOff";
    case Code::callIsActive: return "callIsActive";
    case Code::dataNotAllowed: return "dataNotAllowed";
    case Code::secureConnectionFailed: return "secureConnectionFailed";
    case Code::serverCertificateHasUnknownRoot: return "serverCertificateHasUnknownRoot";
    case Code::serverCertificateNotYetValid: return "serverCertificateNotYetValid";
    case Code::serverCertificateUntrusted: return "serverCertificateUntrusted";
    case Code::serverCertificateHasBadDate: return "serverCertificateHasBadDate";
    case Code::cannotWriteToFile: return "cannotWriteToFile";
    case Code::cannotMoveFile: return "cannotMoveFile";
    case Code::badURL: return "badURL";
    case Code::cannotOpenFile: return "cannotOpenFile";
    case Code::redirectToOtherOrigin: return "redirectToOtherOrigin";
    case Code::responseTooLarge: return "responseTooLarge";
    case Code::unsupportedURL: return "unsupportedURL";
    case Code::badServerResponse: return "badServerResponse";
    case Code::cannotDecodeContentData: return "cannotDecodeContentData";
    case Code::fileDoesNotExist: return "fileDoesNotExist";
    case Code::cannotCreateFile: return "cannotCreateFile";
    case Code::unknown: return "unknown";
    }
    return "unknown";
}

} // namespace Quarlink
