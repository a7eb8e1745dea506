#pragma once

#include "Platform/Foundation/URL.hpp"

namespace Orvella {

// Where the link dialog hands a new link: onto the clipboard, then announced.
// May be called on any thread; the navigator moves to the UI thread itself.
class ShareDurationNavigator {
public:
    virtual ~ShareDurationNavigator() = default;
    virtual void copyPublicLink(const Platform::URL& url) = 0;
};

} // namespace Orvella
