#pragma once

#include "Orvella/Launch/LaunchSeams.hpp"
#include "Orvella/Navigator/Navigator.hpp"

#include <memory>

namespace Orvella {

// The navigator as the launch uses it. The share requests arrive on the
// channel's thread; the navigator moves every desktop call to the UI thread.
class NavigatorLaunchAdapter final : public LaunchNavigator {
public:
    explicit NavigatorLaunchAdapter(std::shared_ptr<Navigator> navigator) : m_navigator(std::move(navigator)) {}
    void sharePublicLink(Sync::FileRef file) override { m_navigator->sharePublicLink(std::move(file)); }
    void sharePrivately(Sync::FileRef file) override { m_navigator->sharePrivately(std::move(file)); }
    void showLoginWindow() override
    {
        m_navigator->windows().showLoginWindow();
        m_navigator->windows().activate();
    }

private:
    std::shared_ptr<Navigator> m_navigator;
};

} // namespace Orvella
