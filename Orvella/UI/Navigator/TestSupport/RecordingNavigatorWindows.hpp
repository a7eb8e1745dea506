#pragma once

#include "Orvella/UI/Navigator/NavigatorWindows.hpp"

#include <string>
#include <vector>

namespace Orvella::Testing {

// Records every call as one word; `loginWindowValue` plays the login window.
class RecordingNavigatorWindows final : public NavigatorWindows {
public:
    std::vector<std::string> calls;
    const void* loginWindowValue = nullptr;

    void showLoginWindow() override { calls.emplace_back("showLogin"); }
    void hideLoginWindow() override { calls.emplace_back("hideLogin"); }
    const void* loginWindow() const override { return loginWindowValue; }
    void showPreferencesWindow() override { calls.emplace_back("showPreferences"); }
    void presentPreferencesSheet(PreferencesSheet sheet) override
    {
        calls.emplace_back(sheet == PreferencesSheet::proxy ? "sheetProxy" : "sheetDebug");
    }
    void togglePopover(const std::any&) override { calls.emplace_back("togglePopover"); }
    void showPopover(const std::any&) override { calls.emplace_back("showPopover"); }
    void activate() override { calls.emplace_back("activate"); }
};

} // namespace Orvella::Testing
