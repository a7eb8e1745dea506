#pragma once

#include "Orvella/Launch/LaunchSeams.hpp"
#include "Orvella/UI/Navigator/Navigator.hpp"
#include "Orvella/UI/Windows/PopoverAnchor.hpp"

#include <memory>

namespace Orvella {

// The navigator as the launch uses it. The share requests arrive on the
// channel's thread; the navigator moves every desktop call to the UI thread.
class NavigatorLaunchAdapter final : public LaunchNavigator {
public:
    // `anchor`: the status item the popover hangs below.
    explicit NavigatorLaunchAdapter(std::shared_ptr<Navigator> navigator, std::shared_ptr<PopoverAnchor> anchor = nullptr)
        : m_navigator(std::move(navigator))
        , m_anchor(std::move(anchor))
    {
    }
    void sharePublicLink(Sync::FileRef file) override { m_navigator->sharePublicLink(std::move(file)); }
    void sharePrivately(Sync::FileRef file) override { m_navigator->sharePrivately(std::move(file)); }
    void showLoginWindow() override
    {
        m_navigator->windows().showLoginWindow();
        m_navigator->windows().activate();
    }
    void showPopover() override
    {
        if (m_anchor) {
            m_navigator->windows().showPopover(std::any(m_anchor.get()));
        }
    }

private:
    std::shared_ptr<Navigator> m_navigator;
    std::shared_ptr<PopoverAnchor> m_anchor;
};

} // namespace Orvella
