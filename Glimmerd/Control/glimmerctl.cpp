// glimmerctl: asks glimmerd what the file manager would see, and runs menu entries.
//
//   glimmerctl [--socket PATH] observed | badge PATH… | menu [--kind KIND] PATH… | invoke INDEX PATH… | watch
//
// Exit status: 0 done, 1 wrong use or a refused request, 2 glimmerd not
// reachable, 3 no menu for the selection, 4 the entry is disabled or missing.

#include "Glimmerd/Control/GlimmerClient.hpp"
#include "Glimmerd/FinderSyncHost/GlimmerSocketPath.hpp"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int exitRefused = 1;
constexpr int exitUnreachable = 2;
constexpr int exitNoMenu = 3;
constexpr int exitNoEntry = 4;

using nlohmann::json;

int usage()
{
    std::cerr << "Aufruf: glimmerctl [--socket PFAD] observed | badge PFAD… | menu [--kind ART] PFAD… | "
                 "invoke NUMMER PFAD… | watch\n";
    return exitRefused;
}

std::string absolute(const std::string& path)
{
    if (path.starts_with('/'))
        return path;
    std::error_code error;
    auto current = std::filesystem::current_path(error);
    return (current / path).string();
}

json selection(const std::vector<std::string>& paths)
{
    auto list = json::array();
    for (const auto& path : paths)
        list.push_back(absolute(path));
    return list;
}

// Nothing for a failed request (reported here), else the answer.
std::optional<json> ask(Control::GlimmerClient& client, json request, int& status)
{
    auto answer = client.request(std::move(request));
    if (!answer) {
        std::cerr << answer.error().text << '\n';
        status = answer.error().kind == Control::ClientError::Kind::protocol ? exitRefused : exitUnreachable;
        return std::nullopt;
    }
    if (!answer->value("ok", false)) {
        std::cerr << answer->value("error", std::string("Die Anfrage wurde abgelehnt.")) << '\n';
        auto code = answer->value("code", std::string());
        status = code == "noMenu" ? exitNoMenu : (code == "noEntry" || code == "disabled") ? exitNoEntry : exitRefused;
        return std::nullopt;
    }
    return std::move(*answer);
}

std::string text(const json& value)
{
    return value.is_string() ? value.get<std::string>() : "-";
}

int watch(Control::GlimmerClient& client)
{
    int status = 0;
    if (!ask(client, { { "op", "subscribe" } }, status))
        return status;
    while (true) {
        auto line = client.nextLine(std::chrono::hours(24));
        if (!line) {
            if (line.error().kind == Control::ClientError::Kind::timedOut)
                continue;
            std::cerr << line.error().text << '\n';
            return exitUnreachable;
        }
        auto event = line->value("event", std::string());
        if (event == "badge") {
            std::cout << text(line->value("badge", json())) << '\t' << text(line->value("path", json())) << '\n';
        } else if (event == "observed") {
            std::cout << "observed";
            for (const auto& folder : line->value("observed", json::array()))
                std::cout << '\t' << text(folder);
            std::cout << '\n';
        }
        std::cout.flush();
    }
}

bool isNumber(const std::string& text)
{
    std::size_t number = 0;
    auto parsed = std::from_chars(text.data(), text.data() + text.size(), number);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

// Wrong use is told before glimmerd is asked at all.
bool isWellFormed(const std::string& command, const std::vector<std::string>& arguments)
{
    if (command == "observed" || command == "watch")
        return arguments.empty();
    if (command == "badge")
        return !arguments.empty();
    if (command == "menu")
        return arguments.size() >= (!arguments.empty() && arguments.front() == "--kind" ? 3u : 1u);
    if (command == "invoke")
        return arguments.size() >= 2 && isNumber(arguments.front());
    return false;
}

std::optional<json> menuTarget(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return std::nullopt;
    auto parent = std::filesystem::path(absolute(paths.front())).parent_path();
    return parent.string();
}

// `menu [--kind KIND] PATH…` prints the menu; `invoke INDEX PATH…` runs an entry.
int menuOrInvoke(Control::GlimmerClient& client, const std::string& command, std::vector<std::string> arguments)
{
    int status = 0;
    std::string kind = "items";
    std::optional<std::size_t> index;
    if (command == "menu" && arguments.front() == "--kind") {
        kind = arguments[1];
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    if (command == "invoke") {
        const auto& first = arguments.front();
        std::size_t number = 0;
        std::from_chars(first.data(), first.data() + first.size(), number);
        index = number;
        arguments.erase(arguments.begin());
    }
    json request = { { "op", command }, { "kind", kind }, { "selection", selection(arguments) } };
    if (auto target = menuTarget(arguments))
        request["target"] = *target;
    if (index)
        request["index"] = *index;
    auto answer = ask(client, std::move(request), status);
    if (!answer)
        return status;
    if (index)
        return 0;
    const auto& menu = (*answer)["menu"];
    if (!menu.is_object()) {
        std::cerr << "Für diese Auswahl gibt es kein Menü.\n";
        return exitNoMenu;
    }
    std::cout << "title\t" << text(menu.value("title", json())) << '\n';
    std::size_t position = 0;
    for (const auto& item : menu.value("items", json::array())) {
        std::cout << position++ << '\t' << (item.value("enabled", false) ? "enabled" : "disabled") << '\t'
                  << text(item.value("title", json())) << '\n';
    }
    return 0;
}

int run(Control::GlimmerClient& client, const std::string& command, std::vector<std::string> arguments)
{
    int status = 0;
    if (command == "observed") {
        auto answer = ask(client, { { "op", "observed" } }, status);
        if (!answer)
            return status;
        for (const auto& folder : answer->value("observed", json::array()))
            std::cout << text(folder) << '\n';
        return 0;
    }
    if (command == "badge") {
        if (arguments.empty())
            return usage();
        for (const auto& path : arguments) {
            auto answer = ask(client, { { "op", "badge" }, { "path", absolute(path) } }, status);
            if (!answer)
                return status;
            std::cout << text(answer->value("badge", json())) << '\t' << path << '\n';
        }
        return 0;
    }
    if (command == "menu" || command == "invoke")
        return menuOrInvoke(client, command, std::move(arguments));
    if (command == "watch")
        return arguments.empty() ? watch(client) : usage();
    return usage();
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::filesystem::path socketPath = FinderSyncHost::glimmerSocketPath();
    if (arguments.size() >= 2 && arguments.front() == "--socket") {
        socketPath = arguments[1];
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    if (arguments.empty())
        return usage();
    auto command = arguments.front();
    arguments.erase(arguments.begin());
    if (!isWellFormed(command, arguments))
        return usage();
    auto client = Control::GlimmerClient::connect(socketPath);
    if (!client) {
        std::cerr << client.error().text << '\n';
        return exitUnreachable;
    }
    return run(*client, command, std::move(arguments));
}
