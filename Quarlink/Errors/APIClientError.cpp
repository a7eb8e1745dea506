#include "Quarlink/Errors/APIClientError.hpp"

#include "Quarlink/Errors/ErrorTexts.hpp"

#include <utility>

namespace Quarlink {

APIClientError APIClientError::parsingError(Platform::Data body)
{
    APIClientError error(Case::parsingError);
    error.m_body = std::move(body);
    return error;
}

APIClientError APIClientError::batch(std::vector<Reactive::AnyError> errors)
{
    APIClientError error(Case::batch);
    error.m_errors = std::move(errors);
    return error;
}

APIClientError APIClientError::notLoggedIn()
{
    return APIClientError(Case::notLoggedIn);
}

APIClientError APIClientError::invalidDownload()
{
    return APIClientError(Case::invalidDownload);
}

APIClientError APIClientError::invalidRequest()
{
    return APIClientError(Case::invalidRequest);
}

std::string APIClientError::subject() const
{
    return ErrorTexts::callFailedWithoutPeriod;
}

std::string APIClientError::reason() const
{
    switch (m_case) {
    case Case::parsingError:
        return "Unerwarteter Fehler beim Verarbeiten der Response.";
    case Case::batch:
        return std::to_string(m_errors.size()) + " Vorgänge sind fehlgeschlagen";
    case Case::notLoggedIn:
        return "Nicht angemeldet";
    case Case::invalidDownload:
        return "Unerwarteter Fehler beim Verarbeiten der Datei.";
    case Case::invalidRequest:
        return "Unerwarteter Fehler beim Erstellen der Anfrage.";
    }
    return ErrorTexts::actionFailedWithPeriod;
}

std::string APIClientError::description() const
{
    switch (m_case) {
    case Case::parsingError:
        return "APIClientError.parsingError(" + std::to_string(m_body.size()) + " bytes)";
    case Case::batch:
        return "APIClientError.batch(" + std::to_string(m_errors.size()) + " errors)";
    case Case::notLoggedIn:
        return "APIClientError.notLoggedIn";
    case Case::invalidDownload:
        return "APIClientError.invalidDownload";
    case Case::invalidRequest:
        return "APIClientError.invalidRequest";
    }
    return "APIClientError";
}

bool operator==(const APIClientError& left, const APIClientError& right)
{
    if (left.m_case != right.m_case || left.m_case == APIClientError::Case::batch)
        return false;
    return left.m_body == right.m_body;
}

} // namespace Quarlink
