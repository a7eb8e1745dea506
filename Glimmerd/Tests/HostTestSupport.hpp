#pragma once

#include "Glimmerd/FinderSyncKit/FinderSyncController.hpp"
#include "Glimmerd/FinderSyncKit/FinderSyncExtension.hpp"

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace GlimmerdTesting {

// Makes sure a QCoreApplication exists for the hosts of this test process.
void ensureApplication();

// Runs Qt's events on this (the main) thread until `done` holds or the timeout passes.
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Runs `work` on a thread of its own, as a client process would, while the
// main thread serves the host; returns what `work` returned.
template<class Work>
auto onClientThread(Work work) -> decltype(work())
{
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    std::thread thread(std::move(task));
    spinUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        std::chrono::seconds(60));
    thread.join();
    return result.get();
}

struct ProgramResult {
    int exitStatus = -1;
    std::string output;
};
// Runs `program` with `arguments`, without a shell, and collects its standard output.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments);

// An extension that answers from what the test gave it and records what it was asked.
class FakeExtension final : public FinderSyncKit::FinderSyncExtension {
public:
    explicit FakeExtension(std::shared_ptr<FinderSyncKit::FinderSyncController> controller)
        : m_controller(std::move(controller))
    {
    }

    void beginObservingDirectory(const Platform::URL& url) override { begun.push_back(url.path()); }
    void endObservingDirectory(const Platform::URL& url) override { ended.push_back(url.path()); }
    void requestBadgeIdentifier(const Platform::URL& url) override
    {
        requested.push_back(url.path());
        if (auto badge = badges.find(url.path()); badge != badges.end())
            m_controller->setBadgeIdentifier(badge->second, url);
    }
    std::optional<FinderSyncKit::Menu> menu(FinderSyncKit::MenuKind kind) override
    {
        menuKinds.push_back(kind);
        selections.push_back({});
        for (const auto& url : m_controller->selectedItemURLs())
            selections.back().push_back(url.path());
        targets.push_back(m_controller->targetedURL() ? m_controller->targetedURL()->path() : "");
        return menuToGive;
    }
    void performAction(const FinderSyncKit::MenuItem& item) override { performed.push_back(item.action); }

    std::map<std::string, std::string> badges;
    std::optional<FinderSyncKit::Menu> menuToGive;
    std::vector<std::string> begun, ended, requested, performed, targets;
    std::vector<FinderSyncKit::MenuKind> menuKinds;
    std::vector<std::vector<std::string>> selections;

private:
    std::shared_ptr<FinderSyncKit::FinderSyncController> m_controller;
};

} // namespace GlimmerdTesting
