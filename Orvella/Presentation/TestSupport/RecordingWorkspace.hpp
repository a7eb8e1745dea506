#pragma once

#include "Orvella/Presentation/Workspace.hpp"

#include <string>
#include <vector>

namespace Orvella {

// Records what would have been opened and revealed.
class RecordingWorkspace final : public Workspace {
public:
    std::vector<std::string> openedURLs;
    std::vector<std::string> revealedPaths;

    void open(const Platform::URL& url) override { openedURLs.push_back(url.absoluteString()); }
    void revealFile(const std::string& path) override { revealedPaths.push_back(path); }
};

} // namespace Orvella
