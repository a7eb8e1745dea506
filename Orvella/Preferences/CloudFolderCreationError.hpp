#pragma once

#include "Orvella/Presentation/AlertPresenter.hpp"

#include "Platform/FileSystem/FileSystemError.hpp"
#include "Quarlink/Errors/PresentableError.hpp"
#include "Reactive/Error.hpp"

#include <optional>
#include <string>
#include <vector>

namespace Orvella {

// Why a chosen folder cannot become the cloud folder. Equal when the case is
// equal, whatever failure a `couldNotCheckFolder` wraps.
class CloudFolderCreationError final : public Reactive::Error, public Quarlink::PresentableError {
public:
    enum class Kind {
        couldNotCheckFolder,
        folderRecursion,
        folderNotEmpty,
    };

    [[nodiscard]] static CloudFolderCreationError couldNotCheckFolder(Platform::FileSystemError error)
    {
        return CloudFolderCreationError(Kind::couldNotCheckFolder, std::move(error));
    }
    // Which folder the chosen one is, each refused for its own reason.
    enum class Recursion {
        insideCloudFolder,
        containsCloudFolder,
        homeFolder,
        rootFolder,
    };

    [[nodiscard]] static CloudFolderCreationError folderRecursion(Recursion recursion = Recursion::insideCloudFolder)
    {
        auto error = CloudFolderCreationError(Kind::folderRecursion, std::nullopt);
        error.m_recursion = recursion;
        return error;
    }
    [[nodiscard]] static CloudFolderCreationError folderNotEmpty() { return CloudFolderCreationError(Kind::folderNotEmpty, std::nullopt); }

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] Recursion recursion() const { return m_recursion; }
    [[nodiscard]] const std::optional<Platform::FileSystemError>& underlyingError() const { return m_error; }

    // "Fehler beim Anlegen des Cloud Ordners." for every case.
    [[nodiscard]] std::string subject() const override;
    // The alert's informative text.
    [[nodiscard]] std::string reason() const override;
    [[nodiscard]] std::string alertMessageText() const;
    // Buttons after "Ok": "Ordnerinhalt löschen" for a folder that is not empty.
    [[nodiscard]] std::vector<std::string> additionalButtonTitles() const;
    [[nodiscard]] AlertStyle alertStyle() const;
    // The whole alert: style, texts, "Ok" and the extra buttons.
    [[nodiscard]] Alert alert() const;

    [[nodiscard]] std::string description() const override { return alertMessageText() + ": " + reason(); }

    friend bool operator==(const CloudFolderCreationError& left, const CloudFolderCreationError& right) { return left.m_kind == right.m_kind; }

private:
    CloudFolderCreationError(Kind kind, std::optional<Platform::FileSystemError> error)
        : m_kind(kind)
        , m_error(std::move(error))
    {
    }

    Kind m_kind;
    Recursion m_recursion = Recursion::insideCloudFolder;
    std::optional<Platform::FileSystemError> m_error;
};

} // namespace Orvella
