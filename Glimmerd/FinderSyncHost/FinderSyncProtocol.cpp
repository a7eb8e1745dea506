#include "Glimmerd/FinderSyncHost/FinderSyncProtocol.hpp"

#include <nlohmann/json.hpp>

#include <expected>
#include <map>
#include <optional>
#include <vector>

namespace FinderSyncHost {

using nlohmann::json;
using FinderSyncKit::Menu;
using FinderSyncKit::MenuKind;

using Refusal = FinderSyncProtocol::Refusal;
template<class Value>
using Checked = FinderSyncProtocol::Checked<Value>;

namespace {

Refusal invalidArgument(const std::string& name)
{
    return { "invalidArgument", "Das Feld \"" + name + "\" fehlt oder hat den falschen Typ." };
}

std::string line(const json& object)
{
    // Paths from the disk need not be UTF-8; they must never make an answer fail.
    return object.dump(-1, ' ', false, json::error_handler_t::replace) + '\n';
}

bool isValidUTF8(std::string_view text)
{
    std::size_t index = 0;
    while (index < text.size()) {
        auto byte = static_cast<unsigned char>(text[index]);
        std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || index + length > text.size())
            return false;
        std::uint32_t codePoint = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t next = 1; next < length; ++next) {
            auto continuation = static_cast<unsigned char>(text[index + next]);
            if ((continuation & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (continuation & 0x3F);
        }
        static constexpr std::uint32_t smallest[] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (codePoint < smallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        index += length;
    }
    return true;
}

bool nestsTooDeep(std::string_view text)
{
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char character : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (character == '\\')
                escaped = true;
            else if (character == '"')
                inString = false;
        } else if (character == '"') {
            inString = true;
        } else if (character == '[' || character == '{') {
            if (++depth > maximumNesting)
                return true;
        } else if ((character == ']' || character == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

Checked<Platform::URL> pathArgument(const json& value)
{
    if (!value.is_string())
        return std::unexpected(Refusal { "invalidPath", "Der Pfad fehlt oder ist kein Text." });
    const auto& path = value.get_ref<const std::string&>();
    if (!path.starts_with('/') || path.find('\0') != std::string::npos || !isValidUTF8(path))
        return std::unexpected(Refusal { "invalidPath", "Der Pfad ist kein absoluter Pfad in UTF-8 ohne NUL-Zeichen." });
    return Platform::URL::fileURL(path);
}

Checked<Platform::URL> pathField(const json& request, const char* name)
{
    auto found = request.find(name);
    if (found == request.end())
        return std::unexpected(invalidArgument(name));
    return pathArgument(*found);
}

json pathList(const std::set<Platform::URL>& urls)
{
    auto list = json::array();
    for (const auto& url : urls)
        list.push_back(FinderSyncProtocol::wirePath(url));
    return list;
}

struct MenuRequest {
    MenuKind kind = MenuKind::contextualMenuForItems;
    std::vector<Platform::URL> selection;
    std::optional<Platform::URL> target;
};

Checked<MenuRequest> menuRequest(const json& request)
{
    MenuRequest parsed;
    if (auto kind = request.find("kind"); kind != request.end() && !kind->is_null()) {
        auto known = kind->is_string() ? FinderSyncKit::menuKind(kind->get_ref<const std::string&>()) : std::nullopt;
        if (!known)
            return std::unexpected(Refusal { "invalidArgument", "Unbekannte Menüart." });
        parsed.kind = *known;
    }
    auto selection = request.find("selection");
    if (selection == request.end() || !selection->is_array())
        return std::unexpected(invalidArgument("selection"));
    for (const auto& item : *selection) {
        auto url = pathArgument(item);
        if (!url)
            return std::unexpected(url.error());
        parsed.selection.push_back(*url);
    }
    if (auto target = request.find("target"); target != request.end() && !target->is_null()) {
        auto url = pathArgument(*target);
        if (!url)
            return std::unexpected(url.error());
        parsed.target = *url;
    }
    return parsed;
}

json menuObject(const Menu& menu)
{
    auto items = json::array();
    for (const auto& item : menu.items) {
        items.push_back({ { "title", item.title }, { "action", item.action }, { "key", item.keyEquivalent },
            { "image", item.image }, { "enabled", item.enabled } });
    }
    return { { "title", menu.title }, { "items", std::move(items) } };
}

} // namespace

FinderSyncProtocol::FinderSyncProtocol(std::shared_ptr<FinderSyncKit::FinderSyncController> controller,
    std::shared_ptr<FinderSyncKit::FinderSyncExtension> extension)
    : m_controller(std::move(controller))
    , m_extension(std::move(extension))
{
}

std::string FinderSyncProtocol::wirePath(const Platform::URL& url)
{
    auto path = url.path();
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    return path;
}

std::string FinderSyncProtocol::badgeEvent(const Platform::URL& url, const std::string& identifier)
{
    return line({ { "event", "badge" }, { "path", wirePath(url) },
        { "badge", identifier.empty() ? json(nullptr) : json(identifier) } });
}

std::string FinderSyncProtocol::observedEvent(const std::set<Platform::URL>& directories)
{
    return line({ { "event", "observed" }, { "observed", pathList(directories) } });
}

FinderSyncProtocol::Answer FinderSyncProtocol::answer(std::string_view text)
{
    json id = nullptr;
    auto refuse = [&](const Refusal& refusal) {
        return Answer { line({ { "id", id }, { "ok", false }, { "code", refusal.code }, { "error", refusal.text } }) };
    };
    if (nestsTooDeep(text))
        return refuse({ "malformed", "Die Anfrage ist zu tief verschachtelt." });
    json request = json::parse(text, nullptr, false);
    if (request.is_discarded() || !request.is_object())
        return refuse({ "malformed", "Die Anfrage ist kein gültiges JSON-Objekt." });
    if (auto found = request.find("id"); found != request.end())
        id = *found;
    auto op = request.find("op");
    if (op == request.end() || !op->is_string())
        return refuse({ "unknownOp", "Die Anfrage nennt keine Operation." });
    const auto& name = op->get_ref<const std::string&>();

    using Handler = Checked<json> (FinderSyncProtocol::*)(const std::string& op, const json& request);
    static const std::map<std::string, Handler, std::less<>> handlers {
        { "hello", &FinderSyncProtocol::hello },
        { "observed", &FinderSyncProtocol::observed },
        { "begin", &FinderSyncProtocol::observing },
        { "end", &FinderSyncProtocol::observing },
        { "badge", &FinderSyncProtocol::badge },
        { "menu", &FinderSyncProtocol::menu },
        { "invoke", &FinderSyncProtocol::menu },
        { "subscribe", &FinderSyncProtocol::subscribe },
    };
    auto handler = handlers.find(name);
    if (handler == handlers.end())
        return refuse({ "unknownOp", "Unbekannte Operation: " + name });
    auto result = (this->*handler->second)(name, request);
    if (!result)
        return refuse(result.error());
    json answer = { { "id", id }, { "ok", true } };
    answer.update(*result);
    return Answer { line(answer), name == "subscribe" };
}

auto FinderSyncProtocol::hello(const std::string&, const json&) -> Checked<json>
{
    auto badges = json::array();
    for (const auto& badge : m_controller->badgeImages())
        badges.push_back({ { "identifier", badge.identifier }, { "image", badge.image }, { "label", badge.label } });
    return json { { "protocol", protocolVersion }, { "observed", pathList(m_controller->directoryURLs()) },
        { "badges", std::move(badges) } };
}

auto FinderSyncProtocol::observed(const std::string&, const json&) -> Checked<json>
{
    return json { { "observed", pathList(m_controller->directoryURLs()) } };
}

auto FinderSyncProtocol::observing(const std::string& op, const json& request) -> Checked<json>
{
    auto url = pathField(request, "path");
    if (!url)
        return std::unexpected(url.error());
    if (op == "begin")
        m_extension->beginObservingDirectory(*url);
    else
        m_extension->endObservingDirectory(*url);
    return json::object();
}

auto FinderSyncProtocol::badge(const std::string&, const json& request) -> Checked<json>
{
    auto url = pathField(request, "path");
    if (!url)
        return std::unexpected(url.error());
    // The answer is what the extension sets for this item while it handles the request.
    std::optional<std::string> set;
    auto key = wirePath(*url);
    auto observer = m_controller->observeBadgeRequests([&](const Platform::URL& badged, const std::string& identifier) {
        if (wirePath(badged) == key)
            set = identifier;
    });
    m_extension->requestBadgeIdentifier(*url);
    m_controller->removeObserver(observer);
    return json { { "badge", set && !set->empty() ? json(*set) : json(nullptr) } };
}

auto FinderSyncProtocol::menu(const std::string& op, const json& request) -> Checked<json>
{
    auto parsed = menuRequest(request);
    if (!parsed)
        return std::unexpected(parsed.error());
    std::optional<std::size_t> index;
    if (op == "invoke") {
        auto found = request.find("index");
        if (found == request.end() || !found->is_number_unsigned())
            return std::unexpected(invalidArgument("index"));
        index = found->get<std::size_t>();
    }
    m_controller->setSelection(parsed->selection, parsed->target);
    auto menu = m_extension->menu(parsed->kind);
    if (!index)
        return json { { "menu", menu ? menuObject(*menu) : json(nullptr) } };
    if (!menu)
        return std::unexpected(Refusal { "noMenu", "Für diese Auswahl gibt es kein Menü." });
    if (*index >= menu->items.size())
        return std::unexpected(Refusal { "noEntry", "Das Menü hat keinen Eintrag mit dieser Nummer." });
    if (!menu->items[*index].enabled)
        return std::unexpected(Refusal { "disabled", "Der Eintrag ist nicht verfügbar." });
    m_extension->performAction(menu->items[*index]);
    return json::object();
}

auto FinderSyncProtocol::subscribe(const std::string&, const json&) -> Checked<json>
{
    return json::object();
}

} // namespace FinderSyncHost
