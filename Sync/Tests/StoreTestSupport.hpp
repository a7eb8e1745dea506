#pragma once

// A private database file for store tests, a factory that counts its calls,
// and a recorder for the values of a store's stream.

#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Platform/Database/Database.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Sync::Testing {

class TemporaryDatabase {
public:
    TemporaryDatabase()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvella-store-XXXXXX").string();
        m_directory = ::mkdtemp(pattern.data());
        m_configuration = Sync::cloudDatabaseConfiguration(m_directory / "Cloud.realm");
    }
    ~TemporaryDatabase()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }

    const std::filesystem::path& directory() const { return m_directory; }
    const Platform::DatabaseConfiguration& configuration() const { return m_configuration; }

    // Opens the file and counts the call; what the stores are given.
    Platform::DatabaseFactory factory()
    {
        return [configuration = m_configuration, calls = m_calls] {
            ++*calls;
            return Platform::Database::open(configuration);
        };
    }
    int factoryCalls() const { return m_calls->load(); }

    // A handle for the test itself (not counted).
    Platform::Database open() const { return std::move(*Platform::Database::open(m_configuration)); }

private:
    std::filesystem::path m_directory;
    Platform::DatabaseConfiguration m_configuration;
    std::shared_ptr<std::atomic<int>> m_calls = std::make_shared<std::atomic<int>>(0);
};

// Collects values from any thread; the test waits for a condition on them with a deadline.
template<class Value>
class Recorder {
public:
    void record(Value value)
    {
        // Notified under the lock, so a test that saw the value and ends
        // cannot destroy the recorder while this call still runs.
        std::lock_guard lock(m_mutex);
        m_values.push_back(std::move(value));
        m_threads.push_back(std::this_thread::get_id());
        m_changed.notify_all();
    }

    std::vector<Value> values() const
    {
        std::lock_guard lock(m_mutex);
        return m_values;
    }
    std::vector<std::thread::id> threads() const
    {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

    bool waitUntil(const std::function<bool(const std::vector<Value>&)>& condition,
        std::chrono::milliseconds timeout = std::chrono::seconds(5)) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return condition(m_values); });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Value> m_values;
    std::vector<std::thread::id> m_threads;
};

} // namespace Sync::Testing
