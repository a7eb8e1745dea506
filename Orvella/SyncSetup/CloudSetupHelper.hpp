#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Sync/Schedule/CloudFolderPreparator.hpp"
#include "Sync/Store/FileStore.hpp"

#include <memory>
#include <string>
#include <system_error>

namespace Orvella {

// Makes sure the cloud folder is there before every poll of the sync engine.
// A folder that is there but cannot be listed and entered (or lies behind a
// folder that cannot be entered) ends the run with `SetupError::unreadable`
// and changes nothing. A folder that cannot be reached clears the stored file state; a folder
// that is missing altogether is then made again (with missing parents),
// gains a sidebar entry after all others, and ends the run with
// `SetupError::folderWasMissing`, so the next run starts from an empty folder
// and an empty state.
class CloudSetupHelper final : public Sync::CloudFolderPreparator {
public:
    // Why a preparation ended the run.
    struct SetupError {
        enum class Kind {
            // The folder was missing and has been made again.
            folderWasMissing,
            // The folder was missing and could not be made.
            creationFailed,
            // The folder is there but cannot be listed and entered; nothing
            // is cleared or made, and no run starts.
            unreadable,
        };
        Kind kind = Kind::folderWasMissing;
        std::string path;
        std::error_code reason {};

        [[nodiscard]] std::string description() const;
    };

    CloudSetupHelper(Reactive::Property<Platform::URL> cloudFolder, std::shared_ptr<Reactive::MutableProperty<bool>> syncEnabled,
        std::shared_ptr<Sync::FileStore> fileStore, std::string defaultName);

    [[nodiscard]] std::expected<void, Reactive::AnyError> prepareCloudFolder() override;

private:
    Reactive::Property<Platform::URL> m_cloudFolder;
    std::shared_ptr<Reactive::MutableProperty<bool>> m_syncEnabled;
    std::shared_ptr<Sync::FileStore> m_fileStore;
    std::string m_defaultName;
};

} // namespace Orvella
