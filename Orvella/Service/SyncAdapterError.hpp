#pragma once

#include "Quarlink/Errors/PresentableError.hpp"
#include "Reactive/Error.hpp"

#include <string>

namespace Orvella {

// What the sync adapter refuses before any request or disk step: a server
// path that would not stay inside the cloud folder, or a caller's mistake.
class SyncAdapterError final : public Reactive::Error, public Quarlink::PresentableError {
public:
    enum class Case {
        // A path with "..", ".", an empty component or a NUL byte, or one
        // that leaves the cloud folder.
        refusedPath,
        // A folder was to be created for an item that is not a folder.
        notAFolder,
    };

    SyncAdapterError(Case errorCase, std::string path)
        : m_case(errorCase)
        , m_path(std::move(path))
    {
    }

    [[nodiscard]] Case errorCase() const { return m_case; }
    [[nodiscard]] const std::string& path() const { return m_path; }

    [[nodiscard]] std::string subject() const override;
    [[nodiscard]] std::string reason() const override;
    [[nodiscard]] std::string description() const override;

private:
    Case m_case;
    std::string m_path;
};

} // namespace Orvella
