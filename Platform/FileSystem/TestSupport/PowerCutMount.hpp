#pragma once
// A folder on the power-cut file system (scripts/powercut_fs.py): what was
// synced survives `cut`, the rest is gone as after a power loss. For tests
// that must see whether a write was made durable; they run only as root with
// /dev/fuse, and skip elsewhere with the reason `unavailable` gives.

#include <chrono>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace Platform::Testing {

class PowerCutMount {
public:
    // When folder entries (create, rename, unlink) become durable: at once, as
    // on ext4; or only once the folder is synced, as POSIX promises no more.
    // `strictAttributes` is `strict` with extended attributes durable only
    // once their file or folder was synced, too.
    enum class Model { ext4, strict, strictAttributes };

    struct Failure {
        std::string message;
        // The machine cannot mount it at all (no root, no /dev/fuse, no fusepy): a reason to skip.
        bool unavailable = false;
    };

    // Mounts a new, empty file system at `base`/mount over `base`/backing.
    [[nodiscard]] static std::expected<PowerCutMount, Failure> mount(const std::filesystem::path& base, Model model);

    PowerCutMount(PowerCutMount&& other) noexcept;
    PowerCutMount& operator=(PowerCutMount&&) = delete;
    ~PowerCutMount();

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

    // A folder `relative` below the mount, made and synced with every folder
    // above it: one that was on the disk long before the test.
    [[nodiscard]] std::filesystem::path durableFolder(const std::filesystem::path& relative) const;

    // The power goes now: nothing more becomes durable and every later access
    // fails; the mount then comes back with what the disk held. Whoever still
    // has a file open there must be gone or close it before (a power cut ends
    // every process).
    [[nodiscard]] std::expected<void, std::string> cutAndRemount();

private:
    PowerCutMount(std::filesystem::path base, Model model);
    [[nodiscard]] std::expected<void, Failure> start();
    [[nodiscard]] std::expected<void, std::string> awaitLine(const std::string& wanted, std::chrono::seconds timeout);
    [[nodiscard]] std::expected<void, std::string> unmount();

    std::filesystem::path m_base;
    std::filesystem::path m_path;
    Model m_model;
    pid_t m_process = -1;
    int m_output = -1;
    std::string m_pending;
};

} // namespace Platform::Testing
