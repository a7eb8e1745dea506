#pragma once

#include "Platform/Foundation/URL.hpp"

#include <string>

namespace Orvella {

// The general pasteboard (the desktop's clipboard), written the way a copy
// of a link is: cleared, then an address, then its text. Main thread only.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    virtual void clearContents() = 0;
    // Adds `url` to what the pasteboard holds (as a URI list).
    virtual void writeURL(const Platform::URL& url) = 0;
    // Adds plain text to what the pasteboard holds.
    virtual void setString(const std::string& text) = 0;
};

} // namespace Orvella
