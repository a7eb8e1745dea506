#include "Platform/Foundation/UserDefaults.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"
#include "Platform/Foundation/PollLoop.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"
#include "Reactive/MutableProperty.hpp"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Platform {

namespace {

std::error_code lastError() { return std::error_code(errno, std::generic_category()); }

using Property = Reactive::MutableProperty<std::optional<UserDefaults::Value>>;

// Which version of the file is meant: a replaced file is a new inode, and
// the change time tells a reused inode number apart. All zero: no file.
struct FileVersion {
    ino_t inode = 0;
    std::int64_t changed = 0;
    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

FileVersion currentVersion(const std::filesystem::path& file)
{
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0)
        return {};
    return { status.st_ino, static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1'000'000'000 + status.st_ctim.tv_nsec };
}

} // namespace

struct UserDefaults::State {
    std::filesystem::path file;
    std::filesystem::path lockFile;

    mutable std::mutex mutex;
    Dictionary stored;
    Dictionary registered;
    mutable std::map<std::string, std::shared_ptr<Property>, std::less<>> properties;

    int inotify = -1;
    std::optional<PollLoop> loop;
    std::thread watcher;

    std::optional<Value> effectiveLocked(std::string_view key) const
    {
        if (auto entry = stored.find(key); entry != stored.end())
            return entry->second;
        if (auto entry = registered.find(key); entry != registered.end())
            return entry->second;
        return std::nullopt;
    }

    // Reads and parses the file. A file that is no JSON object is moved aside
    // (under the lock, after checking again, so a writer's fresh file is never
    // the one moved) and read as empty.
    std::expected<Dictionary, std::error_code> readFile(bool lockHeld)
    {
        auto content = readWholeFile(file);
        if (!content)
            return std::unexpected(content.error());
        if (!*content)
            return Dictionary();
        auto parsed = Value::parse(**content, nullptr, false);
        if (!parsed.is_discarded() && parsed.is_object()) {
            Dictionary result;
            for (auto& [key, value] : parsed.items())
                result.emplace(key, value);
            return result;
        }
        if (!lockHeld) {
            auto lock = FileLock::acquire(lockFile);
            if (!lock)
                return std::unexpected(lock.error());
            return readFile(true);
        }
        auto corrupt = file;
        corrupt += ".corrupt";
        if (::rename(file.c_str(), corrupt.c_str()) == 0)
            Log::failure("Die Einstellungsdatei " + file.string() + " war beschädigt und liegt jetzt unter " + corrupt.string());
        else
            Log::failure("Die beschädigte Einstellungsdatei " + file.string() + " kann nicht beiseitegelegt werden: " + lastError().message());
        return Dictionary();
    }

    // Takes `fresh`, read from `version` of the file, as the stored state and
    // sends the keys whose effective value changed. A version the file no
    // longer has is dropped: a newer one was (or will be) adopted, and an
    // older read must never overwrite it.
    void adopt(Dictionary fresh, FileVersion version)
    {
        std::vector<std::pair<std::shared_ptr<Property>, std::optional<Value>>> changes;
        {
            std::lock_guard lock(mutex);
            if (currentVersion(file) != version)
                return;
            stored = std::move(fresh);
            for (auto& [key, property] : properties) {
                auto value = effectiveLocked(key);
                if (property->value() != value)
                    changes.emplace_back(property, std::move(value));
            }
        }
        for (auto& [property, value] : changes)
            property->set(std::move(value));
    }

    void refresh()
    {
        // The version read is the one seen before and after reading; a
        // replacement in between means reading again.
        for (int attempt = 0; attempt < 5; ++attempt) {
            auto before = currentVersion(file);
            auto fresh = readFile(false);
            if (!fresh) {
                Log::failure("Die Einstellungsdatei " + file.string() + " kann nicht gelesen werden: " + fresh.error().message());
                return;
            }
            if (currentVersion(file) == before) {
                adopt(std::move(*fresh), before);
                return;
            }
        }
    }

    void watch()
    {
        std::vector<char> buffer(64 * 1024);
        const int descriptors[] = { inotify };
        (void)loop->run(descriptors, {}, [&](const PollLoop::Wake& wake) {
            if (!wake.signalled(0))
                return;
            bool relevant = false;
            auto length = ::read(inotify, buffer.data(), buffer.size());
            for (ssize_t offset = 0; length > 0 && offset < length;) {
                auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
                if (event->len > 0 && std::string_view(event->name) == UserDefaults::fileName)
                    relevant = true;
                if (event->mask & IN_Q_OVERFLOW)
                    relevant = true;
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
            if (relevant)
                refresh();
        });
    }
};

UserDefaults::UserDefaults(std::filesystem::path folder)
    : m_folder(std::move(folder))
    , m_file(m_folder / fileName)
    , m_state(std::make_shared<State>())
{
    m_state->file = m_file;
    m_state->lockFile = m_folder / "defaults.json.lock";
}

std::expected<std::shared_ptr<UserDefaults>, std::error_code> UserDefaults::open(std::filesystem::path folder)
{
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        if (auto made = createDirectoriesDurably(folder); !made)
            return std::unexpected(made.error());
        ::chmod(folder.c_str(), 0700);
    }
    std::shared_ptr<UserDefaults> defaults(new UserDefaults(std::move(folder)));
    auto& state = *defaults->m_state;
    auto initial = state.readFile(false);
    if (!initial)
        return std::unexpected(initial.error());
    state.stored = std::move(*initial);

    state.inotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (state.inotify < 0)
        return std::unexpected(lastError());
    auto loop = PollLoop::create();
    if (!loop)
        return std::unexpected(loop.error());
    state.loop = std::move(*loop);
    if (::inotify_add_watch(state.inotify, defaults->m_folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE | IN_CREATE) < 0)
        return std::unexpected(lastError());
    state.watcher = std::thread([&state] { state.watch(); });
    return defaults;
}

UserDefaults::~UserDefaults()
{
    if (m_state->watcher.joinable()) {
        m_state->loop->stop();
        m_state->watcher.join();
    }
    if (m_state->inotify >= 0)
        ::close(m_state->inotify);
}

std::filesystem::path UserDefaults::standardFolder(std::string_view applicationIdentifier)
{
    return baseDirectory(BaseDirectory::config) / std::string(applicationIdentifier);
}

void UserDefaults::registerDefaults(const Dictionary& defaults)
{
    std::vector<std::pair<std::shared_ptr<Property>, std::optional<Value>>> changes;
    {
        std::lock_guard lock(m_state->mutex);
        for (auto& [key, value] : defaults)
            m_state->registered.insert_or_assign(key, value);
        for (auto& [key, property] : m_state->properties) {
            auto value = m_state->effectiveLocked(key);
            if (property->value() != value)
                changes.emplace_back(property, std::move(value));
        }
    }
    for (auto& [property, value] : changes)
        property->set(std::move(value));
}

std::optional<UserDefaults::Value> UserDefaults::object(std::string_view key) const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->effectiveLocked(key);
}

bool UserDefaults::boolValue(std::string_view key) const
{
    auto value = object(key);
    return value && value->is_boolean() && value->get<bool>();
}

std::optional<std::string> UserDefaults::string(std::string_view key) const
{
    auto value = object(key);
    if (!value || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

std::int64_t UserDefaults::integer(std::string_view key) const
{
    auto value = object(key);
    return value && value->is_number_integer() ? value->get<std::int64_t>() : 0;
}

double UserDefaults::doubleValue(std::string_view key) const
{
    auto value = object(key);
    return value && value->is_number() ? value->get<double>() : 0.0;
}

std::expected<void, std::error_code> UserDefaults::set(std::string_view key, Value value)
{
    Dictionary fresh;
    FileVersion written;
    {
        auto lock = FileLock::acquire(m_state->lockFile);
        if (!lock)
            return std::unexpected(lock.error());
        // Read again under the lock: another process may have written since
        // our last read, and only our own key may change.
        auto current = m_state->readFile(true);
        if (!current)
            return std::unexpected(current.error());
        fresh = std::move(*current);
        if (value.is_null())
            fresh.erase(std::string(key));
        else
            fresh.insert_or_assign(std::string(key), value);
        Value object = Value::object();
        for (auto& [name, stored] : fresh)
            object[name] = stored;
        auto replaced = writeFileAtomically(m_file, object.dump(2) + "\n", 0600);
        if (!replaced)
            return std::unexpected(replaced.error());
        // Still under the lock, so no other writer's file can be in place yet.
        written = currentVersion(m_file);
    }
    // Observers run after the lock is released: one that writes a setting
    // itself would otherwise wait for our own lock for ever. A newer write
    // that overtakes this adoption is read through the watcher instead.
    m_state->adopt(std::move(fresh), written);
    NotificationCenter::defaultCenter().post(std::string(didChangeNotification), this);
    return {};
}

std::expected<void, std::error_code> UserDefaults::remove(std::string_view key)
{
    return set(key, Value());
}

UserDefaults::Dictionary UserDefaults::dictionaryRepresentation() const
{
    std::lock_guard lock(m_state->mutex);
    auto result = m_state->registered;
    for (auto& [key, value] : m_state->stored)
        result.insert_or_assign(key, value);
    return result;
}

Reactive::SignalProducer<std::optional<UserDefaults::Value>, Reactive::NoError> UserDefaults::producer(std::string key) const
{
    std::shared_ptr<Property> property;
    {
        std::lock_guard lock(m_state->mutex);
        auto entry = m_state->properties.find(key);
        if (entry == m_state->properties.end())
            entry = m_state->properties.emplace(key, std::make_shared<Property>(m_state->effectiveLocked(key))).first;
        property = entry->second;
    }
    // The producer keeps the property alive, not the suite.
    return property->producer().skipRepeats();
}

} // namespace Platform
