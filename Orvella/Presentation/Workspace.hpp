#pragma once

#include "Platform/Foundation/URL.hpp"

#include <string>

namespace Orvella {

// The desktop's part in opening things: web pages, folders, and showing one
// file selected in the file manager. Main thread only.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Opens a web address with the browser or a folder with the file manager.
    virtual void open(const Platform::URL& url) = 0;
    // Shows the file at the absolute path `path` selected in the file
    // manager; where that is not possible, opens the folder it lies in.
    virtual void revealFile(const std::string& path) = 0;
};

} // namespace Orvella
