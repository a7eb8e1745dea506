#pragma once

#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace Platform {

// A settings suite that several processes share: a JSON object in the file
// "defaults.json" of one folder, plus defaults registered in memory by this
// process (never written).
//
// Reading is served from memory: the file as last read, with this process's
// writes applied. A write is synchronous and safe against a concurrent
// writer in another process: it takes an exclusive lock on "defaults.json.lock"
// beside the file, reads the file again, changes only the key being written,
// and renames a synced temporary file into place. So two processes writing
// different keys never lose each other's keys.
//
// Changes made by another process are seen through inotify on the folder and
// reach the per-key producers on the suite's watcher thread. A file that is
// not a JSON object is set aside as "defaults.json.corrupt", logged with "❗️"
// and read as empty.
//
// After every write of this process (set, remove) the suite posts
// `didChangeNotification` on `NotificationCenter::defaultCenter()` with the
// suite as sender, on the writing thread, once the file is in place.
//
// Threading: every member may be called from any thread. Producers deliver
// with no lock of the suite held.
class UserDefaults : public std::enable_shared_from_this<UserDefaults> {
public:
    using Value = nlohmann::json;
    using Dictionary = std::map<std::string, Value, std::less<>>;

    static constexpr std::string_view didChangeNotification = "UserDefaultsDidChangeNotification";
    static constexpr std::string_view fileName = "defaults.json";

    // Opens the suite in `folder`, creating the folder (0700) when missing,
    // and starts watching it. An error when the folder cannot be made or
    // watched, or the file exists but cannot be read.
    [[nodiscard]] static std::expected<std::shared_ptr<UserDefaults>, std::error_code> open(std::filesystem::path folder);
    // The folder of an application's own (not shared) suite:
    // `$XDG_CONFIG_HOME/<applicationIdentifier>/` (`~/.config` when unset).
    [[nodiscard]] static std::filesystem::path standardFolder(std::string_view applicationIdentifier);

    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    [[nodiscard]] const std::filesystem::path& filePath() const { return m_file; }

    // Adds `defaults` to the registered defaults (replacing equal keys). They
    // answer reads of keys the file does not hold; they are never written.
    void registerDefaults(const Dictionary& defaults);

    // The stored value, else the registered default, else nothing.
    [[nodiscard]] std::optional<Value> object(std::string_view key) const;
    // Typed reads: false, nothing or 0 when the key is missing or holds another type.
    [[nodiscard]] bool boolValue(std::string_view key) const;
    [[nodiscard]] std::optional<std::string> string(std::string_view key) const;
    [[nodiscard]] std::int64_t integer(std::string_view key) const;
    [[nodiscard]] double doubleValue(std::string_view key) const;

    // Stores `value` under `key`; a null value removes the key. An error when
    // the file cannot be locked or written (memory then keeps the old value).
    [[nodiscard]] std::expected<void, std::error_code> set(std::string_view key, Value value);
    [[nodiscard]] std::expected<void, std::error_code> remove(std::string_view key);

    // Registered defaults overlaid with every stored key.
    [[nodiscard]] Dictionary dictionaryRepresentation() const;

    // The current value of `key` (as `object`), then every change of it made
    // by this process or another. Equal values in a row are sent once.
    [[nodiscard]] Reactive::SignalProducer<std::optional<Value>, Reactive::NoError> producer(std::string key) const;

    struct State;

private:
    UserDefaults(std::filesystem::path folder);
    std::filesystem::path m_folder;
    std::filesystem::path m_file;
    std::shared_ptr<State> m_state;
};

} // namespace Platform
