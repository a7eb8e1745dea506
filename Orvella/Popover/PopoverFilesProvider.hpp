#pragma once
// Orvella/Popover: the popover under the tray icon: its view model with the
// state texts, the usage line and the list of recent or found files, the
// formatters it uses, the list's data source, and the interfaces through
// which it reaches the application core.

#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Model/File.hpp"

#include <string>
#include <vector>

namespace Orvella {

// The account's files for the popover's list, served by the API client
// manager. Both producers are cold, send one list and complete, or fail; they
// may deliver on any thread.
class PopoverFilesProvider {
public:
    using Files = Reactive::SignalProducer<std::vector<Sync::FileRef>, Reactive::AnyError>;

    virtual ~PopoverFilesProvider() = default;

    // The service's search results for `text` in the whole account, at most 50.
    [[nodiscard]] virtual Files files(const std::string& text) = 0;
    // The account's most recently changed files.
    [[nodiscard]] virtual Files recentFiles() = 0;
};

} // namespace Orvella
