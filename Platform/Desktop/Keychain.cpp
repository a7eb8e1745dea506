#include "Platform/Desktop/Keychain.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/PrivateDirectory.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"

#include "Platform/Desktop/BusConnection.hpp"

#include <libsecret/secret.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <mutex>
#include <sys/stat.h>

namespace Platform {

namespace {

// Whether a Secret Service answers on the bus within the timeout. Asking it
// with a ping also starts it where the bus can activate it.
bool secretServiceAnswers(const std::optional<std::string>& busAddress, std::chrono::milliseconds timeout)
{
    auto* connection = openBusConnection(busAddress);
    if (!connection)
        return false;
    GError* error = nullptr;
    auto* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.DBus.Peer",
        "Ping", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, static_cast<gint>(timeout.count()), nullptr, &error);
    bool answered = reply != nullptr;
    if (reply)
        g_variant_unref(reply);
    g_clear_error(&error);
    closeBusConnection(connection);
    return answered;
}

KeychainError takeError(GError*& error, std::string_view action)
{
    KeychainError result { std::string(action) + ": " + (error && error->message ? error->message : "unbekannter Fehler") };
    g_clear_error(&error);
    return result;
}

} // namespace

static KeychainError refused(const std::string& reason)
{
    Log::failure("Der Schlüsselbund-Ordner wird nicht benutzt: " + reason);
    return KeychainError { reason };
}

struct Keychain::State {
    std::string service;
    std::filesystem::path fallbackFolder;
    bool secretService = false;
    SecretSchema* schema = nullptr;
    std::mutex mutex;

    ~State()
    {
        if (schema)
            secret_schema_unref(schema);
        // libsecret keeps one service connection for the process; a later
        // keychain opens it again. Without this it outlives everything.
        if (secretService)
            secret_service_disconnect();
    }

    std::filesystem::path file() const { return fallbackFolder / fallbackFileName; }

    std::expected<nlohmann::json, KeychainError> readFile() const
    {
        // A folder another user made (or may write to) could hand over
        // passwords of its own choosing: it is not read.
        if (std::error_code missing; std::filesystem::symlink_status(fallbackFolder, missing).type() != std::filesystem::file_type::not_found) {
            if (auto own = checkOwnDirectory(fallbackFolder); !own)
                return std::unexpected(refused(own.error()));
        }
        auto content = readWholeFile(file());
        if (!content)
            return std::unexpected(KeychainError { "Die Schlüsseldatei kann nicht gelesen werden: " + content.error().message() });
        if (!*content)
            return nlohmann::json::object();
        auto parsed = nlohmann::json::parse(**content, nullptr, false);
        if (parsed.is_discarded() || !parsed.is_object())
            return std::unexpected(KeychainError { "Die Schlüsseldatei " + file().string() + " ist beschädigt" });
        return parsed;
    }

    // Makes the private folder and locks the file against the other process.
    std::expected<FileLock, KeychainError> lockFile() const
    {
        // Never a password into a folder another user made first or may write to.
        if (auto own = makeOwnDirectory(fallbackFolder); !own)
            return std::unexpected(refused(own.error()));
        auto lock = FileLock::acquire(fallbackFolder / "keychain.json.lock");
        if (!lock)
            return std::unexpected(KeychainError { "Die Schlüsseldatei kann nicht gesperrt werden: " + lock.error().message() });
        return std::move(*lock);
    }

    // Under the file's lock: reads the items, lets `change` change them and
    // writes them back when it says it did.
    template<class Change>
    std::expected<void, KeychainError> changeFile(Change&& change) const
    {
        auto fileLock = lockFile();
        if (!fileLock)
            return std::unexpected(fileLock.error());
        auto items = readFile();
        if (!items)
            return std::unexpected(items.error());
        if (!change(*items))
            return {};
        return writeFile(*items);
    }

    std::expected<void, KeychainError> writeFile(const nlohmann::json& items) const
    {
        auto written = writeFileAtomically(file(), items.dump(2) + "\n", 0600);
        if (!written)
            return std::unexpected(KeychainError { "Die Schlüsseldatei kann nicht geschrieben werden: " + written.error().message() });
        return {};
    }
};

Keychain::Keychain(std::unique_ptr<State> state)
    : m_state(std::move(state))
{
}

Keychain::~Keychain() = default;

std::shared_ptr<Keychain> Keychain::create(Options options)
{
    auto state = std::make_unique<State>();
    state->service = options.service;
    state->fallbackFolder = options.fallbackFolder.empty() ? baseDirectory(BaseDirectory::data) / options.service : options.fallbackFolder;
    // A file an earlier version left readable to everyone holds passwords,
    // whether or not the secret service answers now. Inside a folder only
    // this user may change, so what is narrowed is the file that was checked.
    if (auto narrowed = narrowToOwner(state->fallbackFolder); !narrowed) {
        Log::failure(narrowed.error());
    } else if (checkOwnDirectory(state->fallbackFolder)) {
        if (auto file = narrowToOwner(state->file()); !file)
            Log::failure(file.error());
    }
    state->secretService = secretServiceAnswers(options.busAddress, options.secretServiceTimeout);
    if (state->secretService) {
        state->schema = secret_schema_new((options.service + ".Password").c_str(), SECRET_SCHEMA_NONE, "service", SECRET_SCHEMA_ATTRIBUTE_STRING,
            "account", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
    } else {
        Log::line("Kein Schlüsselbunddienst erreichbar; Passwörter liegen in " + state->file().string());
    }
    return std::shared_ptr<Keychain>(new Keychain(std::move(state)));
}

bool Keychain::usesSecretService() const { return m_state->secretService; }

std::filesystem::path Keychain::fallbackFile() const { return m_state->file(); }

std::expected<Keychain::Kept, KeychainError> Keychain::keep(const std::string& value, const std::string& key)
{
    std::lock_guard lock(m_state->mutex);
    const auto inFile = [&](std::string refusal) -> std::expected<Kept, KeychainError> {
        auto changed = m_state->changeFile([&](nlohmann::json& items) {
            items[key] = value;
            return true;
        });
        if (!changed)
            return std::unexpected(refusal.empty() ? changed.error() : KeychainError { refusal + "; " + changed.error().message });
        return Kept { std::move(refusal), m_state->file() };
    };
    if (!m_state->secretService)
        return inFile({});
    GError* error = nullptr;
    auto label = m_state->service + " (" + key + ")";
    if (!secret_password_store_sync(m_state->schema, SECRET_COLLECTION_DEFAULT, label.c_str(), value.c_str(), nullptr, &error, "service",
            m_state->service.c_str(), "account", key.c_str(), nullptr)) {
        auto refusal = takeError(error, "Das Passwort kann nicht im Schlüsselbund gespeichert werden").message;
        Log::failure(refusal + "; es kommt in " + m_state->file().string());
        return inFile(std::move(refusal));
    }
    // An older password the service refused must not outlive this one.
    if (std::error_code ignored; std::filesystem::exists(m_state->file(), ignored))
        (void)m_state->changeFile([&](nlohmann::json& items) { return items.erase(key) > 0; });
    return Kept { {}, {} };
}

std::expected<void, KeychainError> Keychain::set(const std::string& value, const std::string& key)
{
    auto kept = keep(value, key);
    if (!kept)
        return std::unexpected(kept.error());
    return {};
}

std::expected<std::optional<std::string>, KeychainError> Keychain::get(const std::string& key)
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->secretService) {
        GError* error = nullptr;
        gchar* password = secret_password_lookup_sync(m_state->schema, nullptr, &error, "service", m_state->service.c_str(), "account",
            key.c_str(), nullptr);
        if (password) {
            std::string result(password);
            secret_password_free(password);
            return std::optional<std::string>(std::move(result));
        }
        // A password the service refused to keep lies in the file.
        if (std::error_code ignored; !std::filesystem::exists(m_state->file(), ignored)) {
            if (error)
                return std::unexpected(takeError(error, "Das Passwort kann nicht gelesen werden"));
            return std::optional<std::string>();
        }
        g_clear_error(&error);
    }
    auto items = m_state->readFile();
    if (!items)
        return std::unexpected(items.error());
    auto entry = items->find(key);
    if (entry == items->end() || !entry->is_string())
        return std::optional<std::string>();
    return std::optional<std::string>(entry->get<std::string>());
}

std::expected<void, KeychainError> Keychain::remove(const std::string& key)
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->secretService) {
        // A password the service refused lies in the file: it goes first,
        // whatever the service answers.
        std::expected<void, KeychainError> fromFile;
        if (std::error_code ignored; std::filesystem::exists(m_state->file(), ignored))
            fromFile = m_state->changeFile([&](nlohmann::json& items) { return items.erase(key) > 0; });
        GError* error = nullptr;
        secret_password_clear_sync(m_state->schema, nullptr, &error, "service", m_state->service.c_str(), "account", key.c_str(), nullptr);
        if (error)
            return std::unexpected(takeError(error, "Das Passwort kann nicht gelöscht werden"));
        return fromFile;
    }
    return m_state->changeFile([&](nlohmann::json& items) { return items.erase(key) > 0; });
}

} // namespace Platform
