#pragma once

#include "Glimmerd/FinderSyncKit/FinderSyncController.hpp"
#include "Glimmerd/FinderSyncKit/FinderSyncExtension.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

namespace FinderSyncHost {

// The version `hello` reports; raise it when a request or answer changes incompatibly.
inline constexpr int protocolVersion = 1;
// A request line longer than this (without its newline) closes its connection.
inline constexpr std::size_t maximumLineLength = 1024 * 1024;
// A request whose arrays and objects nest deeper than this is refused as malformed
// before it is parsed: the parser and the echo of its "id" recurse per level.
inline constexpr std::size_t maximumNesting = 64;

// The extension socket's requests and answers, apart from any transport: one
// JSON object per line, UTF-8. Every request may carry an "id", which its
// answer repeats; an answer holds "ok": true and the results, or "ok": false,
// a "code" and a German "error" text.
//
//   hello                        → protocol, observed, badges [{identifier, image, label}]
//   observed                     → observed [path]
//   begin / end  path            → (nothing else)
//   badge        path            → badge: the identifier set during the request, or null
//   menu         kind? selection [path] target? → menu: {title, items [{title, action, key, image, enabled}]} or null
//   invoke       kind? selection target? index  → runs the entry; codes noMenu, noEntry, disabled
//   subscribe                    → then events: {event: "badge", path, badge} and {event: "observed", observed}
//
// Error codes: malformed (no JSON object), unknownOp, invalidPath (not an
// absolute, NUL-free UTF-8 path), invalidArgument, noMenu, noEntry, disabled.
// Paths are sent without a trailing "/" (except "/").
//
// Threading: main thread only, like the controller and the extension it serves.
class FinderSyncProtocol {
public:
    FinderSyncProtocol(std::shared_ptr<FinderSyncKit::FinderSyncController> controller,
        std::shared_ptr<FinderSyncKit::FinderSyncExtension> extension);

    struct Answer {
        // The answer line, with its newline.
        std::string line;
        // The request was a successful `subscribe`: events go to this client from now on.
        bool subscribes = false;
    };
    // Handles one request line (without its newline).
    [[nodiscard]] Answer answer(std::string_view line);

    // The event lines (with newline) pushed to subscribers.
    [[nodiscard]] static std::string badgeEvent(const Platform::URL& url, const std::string& identifier);
    [[nodiscard]] static std::string observedEvent(const std::set<Platform::URL>& directories);

    // The path form of `url` on the wire: its path without a trailing "/".
    [[nodiscard]] static std::string wirePath(const Platform::URL& url);

    // A refused request: its code on the wire and its German text.
    struct Refusal {
        std::string code;
        std::string text;
    };
    template<class Value>
    using Checked = std::expected<Value, Refusal>;

private:
    // One handler per operation: the answer's fields, or why the request is refused.
    Checked<nlohmann::json> hello(const std::string& op, const nlohmann::json& request);
    Checked<nlohmann::json> observed(const std::string& op, const nlohmann::json& request);
    Checked<nlohmann::json> observing(const std::string& op, const nlohmann::json& request);
    Checked<nlohmann::json> badge(const std::string& op, const nlohmann::json& request);
    Checked<nlohmann::json> menu(const std::string& op, const nlohmann::json& request);
    Checked<nlohmann::json> subscribe(const std::string& op, const nlohmann::json& request);

    std::shared_ptr<FinderSyncKit::FinderSyncController> m_controller;
    std::shared_ptr<FinderSyncKit::FinderSyncExtension> m_extension;
};

} // namespace FinderSyncHost
