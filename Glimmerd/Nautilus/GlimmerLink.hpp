#pragma once

// Glimmerd/Nautilus: the Nautilus module that brings glimmerd's badges and
// menu entries into GNOME Files.

#include <gio/gio.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace GlimmerNautilus {

// The module's connection to glimmerd, on the GLib main loop: requests with
// their answers, and the subscription that tells which folders are observed,
// which badges exist and which badges changed. Connects on first use and
// again a few seconds after glimmerd went away.
//
// Threading: the GLib main context of the thread that made it (Nautilus's
// main thread); every callback runs there.
class GlimmerLink {
public:
    // Called with the answer, or with nothing when the connection failed or ended.
    using AnswerHandler = std::function<void(const nlohmann::json* answer)>;
    struct Events {
        // A badge changed: the path and its new identifier (empty for none).
        std::function<void(const std::string& path, const std::string& identifier)> badgeChanged;
        // The observed folders changed (also when the connection comes or goes).
        std::function<void()> observedChanged;
    };

    GlimmerLink(std::string socketPath, Events events);
    ~GlimmerLink();
    GlimmerLink(const GlimmerLink&) = delete;
    GlimmerLink& operator=(const GlimmerLink&) = delete;

    // Sends `request` (an "id" is added) once connected; `handler` runs exactly once.
    void send(nlohmann::json request, AnswerHandler handler);
    // A blocking request on a connection of its own that gives up after
    // `deadline`, for callers that must answer at once (the menu provider).
    [[nodiscard]] std::optional<nlohmann::json> ask(const nlohmann::json& request, std::chrono::milliseconds deadline) const;

    // Whether `path` lies in (or is) an observed folder.
    [[nodiscard]] bool isObserved(const std::string& path) const;
    // The emblem name of a badge identifier ("orvella-" and its image), empty when unknown.
    [[nodiscard]] std::string emblem(const std::string& identifier) const;

private:
    void connect();
    static void connected(GObject* source, GAsyncResult* result, gpointer self);
    void readNext();
    static void lineRead(GObject* source, GAsyncResult* result, gpointer self);
    void handleLine(const std::string& line);
    void write(std::string line);
    void writeNext();
    static void written(GObject* source, GAsyncResult* result, gpointer self);
    void disconnect();
    // The connection failed or ended: everything waiting fails, and a new one follows later.
    void lose(GError* error);
    void scheduleReconnect();
    void adoptHello(const nlohmann::json& answer);

    std::string m_socketPath;
    Events m_events;
    GCancellable* m_cancellable = nullptr;
    GSocketConnection* m_connection = nullptr;
    GDataInputStream* m_input = nullptr;
    bool m_connecting = false;
    bool m_writing = false;
    guint m_reconnectSource = 0;
    std::int64_t m_nextID = 1;
    std::deque<std::string> m_outgoing;
    std::map<std::int64_t, AnswerHandler> m_pending;
    std::vector<std::string> m_observed;
    std::map<std::string, std::string> m_emblems;
};

} // namespace GlimmerNautilus
