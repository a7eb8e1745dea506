#include "Quarlink/Errors/RemoteError.hpp"

#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Errors/ErrorTexts.hpp"

#include <array>
#include <charconv>
#include <locale>
#include <sstream>
#include <utility>

namespace Quarlink {

namespace {

using Case = RemoteError::Case;

struct CaseEntry {
    Case errorCase;
    const char* name;
    // Empty for the cases that use the carried message.
    const char* reason;
};

// Every case in declaration order, with its German reason.
constexpr std::array<CaseEntry, 31> caseTable { {
    { Case::passThrough, "passThrough", "" },
    { Case::batchRequestFailed, "batchRequestFailed", ErrorTexts::actionFailedWithoutPeriod },
    { Case::requestFailed, "requestFailed", ErrorTexts::actionFailedWithoutPeriod },
    { Case::authenticationRequired, "authenticationRequired", "Session abgelaufen." },
    { Case::loginFailed, "loginFailed",
        "E-Mail-Adresse oder Passwort ungültig. Bitte achten Sie auf Groß- und Kleinschreibung." },
    { Case::accountTemporaryLocked, "accountTemporaryLocked",
        "E-Mail-Adresse oder Passwort mehrmals falsch eingeben. Zu Ihrer Sicherheit wurde dieser Account für 10 Minuten gesperrt." },
    { Case::accountPermanentlyLocked, "accountPermanentlyLocked", "Ihr Account ist dauerhaft gesperrt." },
    { Case::fileNotFound, "fileNotFound", "Datei ist nicht mehr vorhanden." },
    { Case::folderAlreadyExists, "folderAlreadyExists",
        "Ein Ordner mit diesem Namen existiert bereits.\nBitte wählen Sie einen anderen Namen." },
    { Case::fileAlreadyExists, "fileAlreadyExists",
        "Eine Datei mit diesem Namen existiert bereits.\nBitte wählen Sie einen anderen Namen." },
    { Case::filesNotMoved, "filesNotMoved", "Eine oder Mehrere Datein konnte nicht verschoben werden." },
    { Case::storageExhausted, "storageExhausted", "Upload nicht erfolgreich.\nIhr Cloud Speicher ist voll" },
    { Case::invalidFilePath, "invalidFilePath",
        "Der Dateipfad überschreitet die maximal zulässige Anzahl an Zeichen." },
    { Case::invalidFileName, "invalidFileName",
        "Der Dateiname darf folgende Zeichen nicht enthalten: /<>:\"|?*\\\n." },
    { Case::invalidFileNameLength, "invalidFileNameLength",
        "Der Dateiname darf nicht mehr als 255 Zeichen beinhalten." },
    { Case::notEnoughStorageToAcceptShare, "notEnoughStorageToAcceptShare",
        "Ihr Speicherplatz reicht nicht aus, um auf den Ordner zuzugreifen. Löschen Sie Dateien oder erweitern Sie Ihren Speicherplatz." },
    { Case::imapConnectionFailed, "imapConnectionFailed", ErrorTexts::actionFailedWithoutPeriod },
    { Case::mailNotFound, "mailNotFound", "Die Nachricht konnte nicht geladen werden." },
    { Case::bodyCouldNotBeLoaded, "bodyCouldNotBeLoaded", "Die Nachricht konnte nicht geladen werden." },
    { Case::invalidRecipientList, "invalidRecipientList",
        "Nachricht konnte nicht gesendet werden. Bitte überprüfen Sie Ihre Angaben in der Empfängerliste." },
    { Case::attachmentSizeExceeded, "attachmentSizeExceeded",
        "Der Anhang ist zu groß und kann nicht versendet werden." },
    { Case::bodySizeExceeded, "bodySizeExceeded",
        "Die E-Mail konnte nicht versendet werden, da die Nachricht die zulässige Größe überschreitet. Sie kann im Ausgang bearbeitet werden." },
    { Case::mailQuotaExceeded, "mailQuotaExceeded",
        "Ihre E-Mail konnte nicht versendet werden, da Ihr aktueller Speicherplatz nicht ausreicht. Bitte erweitern Sie Ihren Speicherplatz oder löschen Sie Ihre E-Mails." },
    { Case::mailFolderNotFound, "mailFolderNotFound", "Der Ordner wurde nicht gefunden." },
    { Case::externalAccountLoginFailed, "externalAccountLoginFailed",
        "Die Authentifizierung ist fehlgeschlagen. Bitte prüfen Sie ihre E-Mail-Adresse und ihr Passwort." },
    { Case::externalAccountInvalidServerInfo, "externalAccountInvalidServerInfo",
        "Der Mail-Server konnte nicht gefunden werden." },
    { Case::externalAccountAlreadyAdded, "externalAccountAlreadyAdded", "Dieses Postfach wurde bereits hinzugefügt." },
    { Case::externalAccountLimitReached, "externalAccountLimitReached", "Sie haben Ihr Limit an Postfächern erreicht." },
    { Case::illegalOperation, "illegalOperation", "Diese Aktion ist nicht erlaubt." },
    { Case::illegalShareOperation, "illegalShareOperation",
        "Freigegebene Ordner dürfen keine Freigaben (Ordner oder Dateien) enthalten." },
    { Case::rateLimitingReached, "rateLimitingReached",
        "Das Rate-Limiting wurde erreicht. Bitte versuchen Sie es später nochmal." },
} };

struct CodeEntry {
    std::int64_t code;
    Case errorCase;
};

// The service codes that have a case of their own. Neighbouring codes (4015,
// 4503, 5005, 6011, 14008, ...) deliberately fall through to the generic cases.
constexpr std::array<CodeEntry, 44> codeTable { {
    { 1002, Case::passThrough },
    { 3001, Case::authenticationRequired },
    { 3002, Case::authenticationRequired },
    { 40326, Case::loginFailed },
    { 40328, Case::loginFailed },
    { 40330, Case::accountTemporaryLocked },
    { 40334, Case::accountTemporaryLocked },
    { 40322, Case::accountPermanentlyLocked },
    { 40336, Case::accountPermanentlyLocked },
    { 404, Case::fileNotFound },
    { 5004, Case::fileNotFound },
    { 5007, Case::fileNotFound },
    { 4014, Case::folderAlreadyExists },
    { 4201, Case::folderAlreadyExists },
    { 5010, Case::folderAlreadyExists },
    { 5013, Case::storageExhausted },
    { 5012, Case::invalidFilePath },
    { 5011, Case::invalidFileName },
    { 6009, Case::notEnoughStorageToAcceptShare },
    { 4300, Case::mailNotFound },
    { 4025, Case::invalidRecipientList },
    { 4033, Case::attachmentSizeExceeded },
    { 4036, Case::bodySizeExceeded },
    { 4018, Case::mailQuotaExceeded },
    { 4037, Case::mailQuotaExceeded },
    { 4200, Case::mailFolderNotFound },
    { 4100, Case::externalAccountLoginFailed },
    { 4501, Case::externalAccountLoginFailed },
    { 4504, Case::externalAccountLoginFailed },
    { 14003, Case::externalAccountLoginFailed },
    { 14004, Case::externalAccountLoginFailed },
    { 14005, Case::externalAccountLoginFailed },
    { 14006, Case::externalAccountLoginFailed },
    { 14013, Case::externalAccountLoginFailed },
    { 4500, Case::externalAccountInvalidServerInfo },
    { 4502, Case::externalAccountInvalidServerInfo },
    { 4110, Case::externalAccountAlreadyAdded },
    { 14010, Case::externalAccountAlreadyAdded },
    { 4105, Case::externalAccountLimitReached },
    { 14007, Case::externalAccountLimitReached },
    { 5047, Case::illegalOperation },
    { 6012, Case::illegalOperation },
    { 6010, Case::illegalShareOperation },
    { 7000, Case::rateLimitingReached },
} };

const CaseEntry& entry(Case errorCase)
{
    return caseTable[static_cast<std::size_t>(errorCase)];
}

std::optional<Case> caseForCode(std::int64_t code)
{
    for (const auto& candidate : codeTable) {
        if (candidate.code == code)
            return candidate.errorCase;
    }
    return std::nullopt;
}

// A whole decimal integer with an optional sign, nothing else (no blanks), in range.
std::optional<std::int64_t> parseErrorCode(std::string_view text)
{
    // from_chars takes a "-" but not a "+"; a "+" is allowed only before digits.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() < '0' || text.front() > '9')
            return std::nullopt;
    }
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

RemoteError::RemoteError(Case errorCase)
    : m_case(errorCase)
{
}

RemoteError RemoteError::passThrough(std::string message)
{
    RemoteError error(Case::passThrough);
    error.m_message = std::move(message);
    return error;
}

RemoteError RemoteError::batchRequestFailed(std::int64_t code, std::string message)
{
    RemoteError error(Case::batchRequestFailed);
    error.m_code = code;
    error.m_message = std::move(message);
    return error;
}

RemoteError RemoteError::requestFailed(std::int64_t code, std::string message, HTTPURLResponse response, Platform::Data body)
{
    RemoteError error(Case::requestFailed);
    error.m_code = code;
    error.m_message = std::move(message);
    error.m_response = std::move(response);
    error.m_body = std::move(body);
    return error;
}

RemoteError RemoteError::fromCode(std::int64_t code, std::string message,
    std::optional<HTTPURLResponse> response, std::optional<Platform::Data> body)
{
    if (auto listed = caseForCode(code)) {
        if (*listed == Case::passThrough)
            return passThrough(std::move(message));
        return RemoteError(*listed);
    }
    if (response && body)
        return requestFailed(code, std::move(message), std::move(*response), std::move(*body));
    return batchRequestFailed(code, std::move(message));
}

std::optional<RemoteError> RemoteError::fromResponse(const HTTPURLResponse& response, const Platform::Data& body)
{
    if (response.statusCode() < 400)
        return std::nullopt;
    auto codeText = response.value("X-Error-Code");
    auto message = response.value("X-Error-Message");
    auto code = codeText ? parseErrorCode(*codeText) : std::nullopt;
    if (code && message)
        return fromCode(*code, std::move(*message), response, body);
    std::string fallback = "HTTP-" + std::to_string(response.statusCode()) + " ohne Fehler-Code";
    return fromCode(-1, std::move(fallback), response, body);
}

std::expected<RemoteError, DecodingError> RemoteError::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto code = object->decodeIfPresent<std::int64_t>("code");
    if (!code)
        return std::unexpected(code.error());
    auto message = object->decodeIfPresent<std::string>("message");
    if (!message)
        return std::unexpected(message.error());
    return fromCode(code->value_or(-1), message->value_or("Keine Nachricht gesetzt"));
}

std::optional<std::int64_t> RemoteError::code() const
{
    if (m_case == Case::batchRequestFailed || m_case == Case::requestFailed)
        return m_code;
    return std::nullopt;
}

std::optional<std::string> RemoteError::message() const
{
    if (m_case == Case::passThrough || m_case == Case::batchRequestFailed || m_case == Case::requestFailed)
        return m_message;
    return std::nullopt;
}

std::string RemoteError::subject() const
{
    return ErrorTexts::callFailedWithPeriod;
}

std::string RemoteError::reason() const
{
    if (m_case == Case::passThrough)
        return m_message;
    return entry(m_case).reason;
}

std::string RemoteError::description() const
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << "APIError: " << entry(m_case).name;
    switch (m_case) {
    case Case::passThrough:
        text << "(\"" << m_message << "\")";
        break;
    case Case::batchRequestFailed:
        text << '(' << m_code << ", \"" << m_message << "\")";
        break;
    case Case::requestFailed:
        text << '(' << m_code << ", \"" << m_message << "\", ";
        if (m_response)
            text << m_response->statusCode() << ' ' << m_response->url().absoluteString();
        text << ", " << (m_body ? m_body->size() : 0) << " bytes)";
        break;
    default:
        break;
    }
    return text.str();
}

bool operator==(const RemoteError& left, const RemoteError& right)
{
    return left.m_case == right.m_case && left.m_code == right.m_code && left.m_message == right.m_message
        && left.m_response == right.m_response && left.m_body == right.m_body;
}

const char* caseName(RemoteError::Case errorCase)
{
    return entry(errorCase).name;
}

} // namespace Quarlink
