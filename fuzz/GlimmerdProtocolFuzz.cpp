// glimmerd's protocol parser under mutated request lines: every line gets
// exactly one answer, itself one JSON object on one line.
#include "Glimmerd/FinderSyncHost/FinderSyncProtocol.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

class Extension final : public FinderSyncKit::FinderSyncExtension {
public:
    explicit Extension(std::shared_ptr<FinderSyncKit::FinderSyncController> controller)
        : m_controller(std::move(controller))
    {
    }
    void beginObservingDirectory(const Platform::URL&) override { }
    void endObservingDirectory(const Platform::URL&) override { }
    void requestBadgeIdentifier(const Platform::URL& url) override { m_controller->setBadgeIdentifier("Idle", url); }
    std::optional<FinderSyncKit::Menu> menu(FinderSyncKit::MenuKind) override
    {
        FinderSyncKit::Menu menu { "brisanto cloud", {} };
        menu.addItem({ "Link teilen", "sharePublicLink", "", "MenueBarIcon", true });
        menu.addItem({ "Ordner freigeben \u2026", "shareFolder", "", "MenueBarIcon", false });
        return menu;
    }
    void performAction(const FinderSyncKit::MenuItem&) override { }

private:
    std::shared_ptr<FinderSyncKit::FinderSyncController> m_controller;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto controller = [] {
        auto made = std::make_shared<FinderSyncKit::FinderSyncController>();
        made->setBadgeImage("status-uptodate", "Idle", "Idle");
        made->setDirectoryURLs({ Platform::URL::fileURL("/c", Platform::URL::IsDirectory::Yes) });
        return made;
    }();
    static FinderSyncHost::FinderSyncProtocol protocol(controller, std::make_shared<Extension>(controller));
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= input.size()) {
        auto newline = input.find('\n', start);
        auto line = input.substr(start, newline == std::string_view::npos ? std::string_view::npos : newline - start);
        if (line.size() <= FinderSyncHost::maximumLineLength) {
            auto answer = protocol.answer(line);
            if (answer.line.empty() || answer.line.back() != '\n' || answer.line.find('\n') != answer.line.size() - 1
                || !nlohmann::json::parse(answer.line, nullptr, false).is_object()) {
                std::fprintf(stderr, "fuzz: not one JSON object line: %s\n", answer.line.c_str());
                std::abort();
            }
        }
        if (newline == std::string_view::npos)
            break;
        start = newline + 1;
    }
    return 0;
}
