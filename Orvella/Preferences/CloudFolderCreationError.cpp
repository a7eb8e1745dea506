#include "Orvella/Preferences/CloudFolderCreationError.hpp"

namespace Orvella {

namespace {

// The listing failure's explanation; none where the system gives no cause.
std::optional<std::string> failureReason(const Platform::FileSystemError& error)
{
    using Code = Platform::FileSystemErrorCode;
    switch (error.code) {
    case Code::permissionDenied:
        return "Sie haben keine Berechtigung, den Ordner zu lesen.";
    case Code::notFound:
        return "Der Ordner existiert nicht.";
    case Code::notADirectory:
        return "Das gewählte Objekt ist kein Ordner.";
    default:
        return std::nullopt;
    }
}

} // namespace

std::string CloudFolderCreationError::subject() const
{
    return "Fehler beim Anlegen des Cloud Ordners.";
}

std::string CloudFolderCreationError::reason() const
{
    switch (m_kind) {
    case Kind::couldNotCheckFolder:
        return (m_error ? failureReason(*m_error) : std::nullopt).value_or("Unerwarteter Fehler");
    case Kind::folderRecursion:
        switch (m_recursion) {
        case Recursion::insideCloudFolder:
            break;
        case Recursion::containsCloudFolder:
            return "Der neue Cloud-Ordner darf den alten Cloud-Ordner nicht enthalten.";
        case Recursion::homeFolder:
            return "Der neue Cloud-Ordner darf nicht Ihr persönlicher Ordner sein.";
        case Recursion::rootFolder:
            return "Der neue Cloud-Ordner darf nicht der oberste Ordner „/“ sein.";
        }
        return "Der neue Cloud-Ordner darf nicht innerhalb des alten Cloud-Ordners liegen.";
    case Kind::folderNotEmpty:
        break;
    }
    return "Der neue Cloud-Ordner muss leer sein und darf keine Dateien oder Ordner enthalten.\n"
           "Sollen alle Dateien und Ordner im neuen Ordner unwiderruflich gelöscht werden?";
}

std::string CloudFolderCreationError::alertMessageText() const
{
    if (m_kind == Kind::couldNotCheckFolder) {
        const std::string path = m_error ? m_error->path : std::string();
        return "Der Ordner „" + path + "“ konnte nicht gelesen werden.";
    }
    return "Unzulässiger Ordner";
}

std::vector<std::string> CloudFolderCreationError::additionalButtonTitles() const
{
    if (m_kind == Kind::folderNotEmpty) {
        return { "Ordnerinhalt löschen" };
    }
    return {};
}

AlertStyle CloudFolderCreationError::alertStyle() const
{
    return m_kind == Kind::couldNotCheckFolder ? AlertStyle::critical : AlertStyle::warning;
}

Alert CloudFolderCreationError::alert() const
{
    std::vector<std::string> buttons { "Ok" };
    for (auto& title : additionalButtonTitles()) {
        buttons.push_back(std::move(title));
    }
    return Alert { .messageText = alertMessageText(), .informativeText = reason(), .style = alertStyle(), .buttons = std::move(buttons) };
}

} // namespace Orvella
