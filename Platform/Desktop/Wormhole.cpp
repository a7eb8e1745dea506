#include "Platform/Desktop/Wormhole.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

// Kinds of announcements; sent to the other process: never rename.
constexpr std::string_view kindMessage = "message";
constexpr std::string_view kindPing = "ping";
constexpr std::string_view kindPong = "pong";

std::string randomToken()
{
    std::random_device random;
    char text[24];
    std::snprintf(text, sizeof text, "%d-%08x%08x", static_cast<int>(::getpid()), random(), random());
    return text;
}

// An identifier as a file name: letters, digits, "-", "_" and inner "." stay,
// everything else (a "/" above all) is percent-encoded.
std::string fileNameFor(const std::string& identifier)
{
    std::string name;
    for (std::size_t index = 0; index < identifier.size(); ++index) {
        auto character = static_cast<unsigned char>(identifier[index]);
        bool keep = std::isalnum(character) || character == '-' || character == '_' || (character == '.' && index > 0);
        if (keep) {
            name += static_cast<char>(character);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", character);
            name += escaped;
        }
    }
    return name + ".json";
}

struct PendingPing {
    std::atomic<bool> answered { false };
    std::function<void(bool)> pong;
    Reactive::AnyDisposable timeout;
};

} // namespace

struct Wormhole::State {
    Configuration configuration;
    std::filesystem::path folder;
    std::string sender = randomToken();
    std::atomic<std::uint64_t> sequence { 0 };
    std::atomic<std::uint64_t> pingCounter { 0 };

    std::mutex mutex;
    std::map<std::string, std::shared_ptr<PendingPing>> pendingPings;
    // Declared last: destroyed first, so no observer runs while the rest goes.
    std::map<std::string, NotificationCenter::Registration> pongObservers;
    std::vector<NotificationCenter::Registration> pingRepliers;

    nlohmann::json announcement(std::string_view kind, const std::string& identifier) 
    {
        return nlohmann::json {
            { "kind", kind },
            { "identifier", identifier },
            { "sender", sender },
            { "sequence", ++sequence },
        };
    }

    void finishPing(const std::string& token, bool answered)
    {
        std::shared_ptr<PendingPing> ping;
        {
            std::lock_guard lock(mutex);
            auto entry = pendingPings.find(token);
            if (entry == pendingPings.end())
                return;
            ping = entry->second;
            pendingPings.erase(entry);
        }
        // The timeout, if still waiting, finds no entry any more and does nothing.
        if (ping->answered.exchange(true))
            return;
        if (ping->pong)
            ping->pong(answered);
    }
};

Wormhole::Wormhole(std::shared_ptr<State> state)
    : m_state(std::move(state))
{
}

Wormhole::~Wormhole()
{
    std::lock_guard lock(m_state->mutex);
    for (auto& [token, ping] : m_state->pendingPings)
        ping->timeout.dispose();
}

std::expected<std::shared_ptr<Wormhole>, std::error_code> Wormhole::create(Configuration configuration)
{
    if (!configuration.notificationCenter)
        return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    auto state = std::make_shared<State>();
    state->folder = configuration.applicationGroupDirectory / configuration.directoryName;
    std::error_code error;
    if (!std::filesystem::is_directory(state->folder, error)) {
        std::filesystem::create_directories(state->folder, error);
        if (error)
            return std::unexpected(error);
        ::chmod(state->folder.c_str(), 0700);
    }
    if (!configuration.timeoutScheduler)
        configuration.timeoutScheduler = Reactive::QueueScheduler::make("Wormhole Ping Timeouts");
    state->configuration = std::move(configuration);
    return std::shared_ptr<Wormhole>(new Wormhole(std::move(state)));
}

std::filesystem::path Wormhole::messageFile(const std::string& identifier) const
{
    return m_state->folder / fileNameFor(identifier);
}

void Wormhole::sendMessage(const std::string& identifier, const nlohmann::json& payload)
{
    auto message = m_state->announcement(kindMessage, identifier);
    message["payload"] = payload;
    auto text = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // The file is a copy for late readers; every listener gets the message in
    // the announcement, so the copy need not reach the disk first.
    if (auto written = writeFileAtomically(messageFile(identifier), text, 0600, FileDurability::Unsynced); !written)
        Log::failure("Die Nachricht " + identifier + " kann nicht abgelegt werden: " + written.error().message());
    m_state->configuration.notificationCenter->post(identifier, message);
    if (m_state->configuration.loggingEnabled)
        Log::line("Wormhole: sent " + identifier);
}

std::optional<nlohmann::json> Wormhole::messageWithIdentifier(const std::string& identifier) const
{
    auto content = readWholeFile(messageFile(identifier));
    if (!content || !*content)
        return std::nullopt;
    auto message = nlohmann::json::parse(**content, nullptr, false);
    if (message.is_discarded() || !message.is_object() || !message.contains("payload"))
        return std::nullopt;
    return message["payload"];
}

void Wormhole::clearMessageContents(const std::string& identifier)
{
    std::error_code ignored;
    std::filesystem::remove(messageFile(identifier), ignored);
}

NotificationCenter::Registration Wormhole::listenForMessages(const std::string& identifier, Listener listener)
{
    std::weak_ptr<State> weakState = m_state;
    return m_state->configuration.notificationCenter->addObserver(identifier,
        [weakState, identifier, listener = std::move(listener)](const DistributedNotification& notification) {
            auto state = weakState.lock();
            const auto& info = notification.userInfo;
            if (!state || !info.is_object() || info.value("kind", "") != kindMessage || info.value("sender", "") == state->sender
                || info.value("identifier", "") != identifier)
                return;
            if (state->configuration.loggingEnabled)
                Log::line("Wormhole: received " + identifier);
            listener(info.value("payload", nlohmann::json()));
        });
}

void Wormhole::replyToPings(const std::string& identifier)
{
    auto* state = m_state.get();
    auto registration = m_state->configuration.notificationCenter->addObserver(identifier,
        [state, identifier](const DistributedNotification& notification) {
            const auto& info = notification.userInfo;
            if (!info.is_object() || info.value("kind", "") != kindPing || info.value("sender", "") == state->sender)
                return;
            auto pong = state->announcement(kindPong, identifier);
            pong["ping"] = info.value("ping", "");
            state->configuration.notificationCenter->post(identifier, pong);
        });
    std::lock_guard lock(m_state->mutex);
    m_state->pingRepliers.push_back(std::move(registration));
}

void Wormhole::sendPing(const std::string& identifier, std::chrono::nanoseconds timeout, std::function<void(bool)> pong)
{
    auto token = m_state->sender + "/" + std::to_string(++m_state->pingCounter);
    auto ping = std::make_shared<PendingPing>();
    ping->pong = std::move(pong);
    std::weak_ptr<State> weakState = m_state;
    {
        std::lock_guard lock(m_state->mutex);
        if (!m_state->pongObservers.contains(identifier)) {
            auto* state = m_state.get();
            m_state->pongObservers.emplace(identifier,
                m_state->configuration.notificationCenter->addObserver(identifier, [state](const DistributedNotification& notification) {
                    const auto& info = notification.userInfo;
                    if (info.is_object() && info.value("kind", "") == kindPong)
                        state->finishPing(info.value("ping", ""), true);
                }));
        }
        m_state->pendingPings.emplace(token, ping);
    }
    auto& scheduler = *m_state->configuration.timeoutScheduler;
    auto timer = scheduler.schedule(scheduler.currentDate() + timeout, [weakState, token] {
        if (auto state = weakState.lock())
            state->finishPing(token, false);
    });
    {
        std::lock_guard lock(m_state->mutex);
        ping->timeout = std::move(timer);
    }
    auto message = m_state->announcement(kindPing, identifier);
    message["ping"] = token;
    m_state->configuration.notificationCenter->post(identifier, message);
}

} // namespace Platform
