#include "Platform/Foundation/UserDefaultsFile.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Platform {

namespace {

std::error_code lastError() { return std::error_code(errno, std::generic_category()); }

bool writeAll(int descriptor, std::string_view content)
{
    while (!content.empty()) {
        auto written = ::write(descriptor, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string temporaryName(const std::filesystem::path& path)
{
    static thread_local std::mt19937_64 random { std::random_device {}() };
    return "." + path.filename().string() + "." + std::to_string(::getpid()) + "." + std::to_string(random() % 1000000000) + ".tmp";
}

} // namespace

std::expected<std::optional<std::string>, std::error_code> readWholeFile(const std::filesystem::path& path)
{
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        if (errno == ENOENT)
            return std::optional<std::string>();
        return std::unexpected(lastError());
    }
    std::string content;
    char buffer[16384];
    while (true) {
        auto count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            auto error = lastError();
            ::close(descriptor);
            return std::unexpected(error);
        }
        if (count == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(descriptor);
    return std::optional<std::string>(std::move(content));
}

std::expected<void, std::error_code> writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode, FileDurability durability)
{
    auto temporary = path.parent_path() / temporaryName(path);
    int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (descriptor < 0)
        return std::unexpected(lastError());
    // The umask must not widen or narrow what the caller asked for (0600 files stay 0600).
    bool ok = ::fchmod(descriptor, mode) == 0 && writeAll(descriptor, content)
        && (durability == FileDurability::Unsynced || ::fsync(descriptor) == 0);
    auto error = lastError();
    if (::close(descriptor) != 0 && ok) {
        ok = false;
        error = lastError();
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) {
        if (durability == FileDurability::Unsynced)
            return {};
        // The rename itself is durable only once the folder is synced.
        int folder = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        return {};
    }
    if (ok)
        error = lastError();
    ::unlink(temporary.c_str());
    return std::unexpected(error);
}

std::expected<void, std::error_code> createDirectoriesDurably(const std::filesystem::path& directory, mode_t mode)
{
    std::vector<std::filesystem::path> missing;
    struct stat status {};
    for (auto current = directory; !current.empty(); current = current.parent_path()) {
        if (::lstat(current.c_str(), &status) == 0)
            break;
        missing.push_back(current);
        if (current == current.parent_path())
            break;
    }
    for (auto made = missing.rbegin(); made != missing.rend(); ++made) {
        if (::mkdir(made->c_str(), mode) != 0 && errno != EEXIST)
            return std::unexpected(lastError());
        auto parent = made->parent_path();
        int folder = ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0)
            return std::unexpected(lastError());
        bool synced = ::fsync(folder) == 0;
        auto error = lastError();
        ::close(folder);
        if (!synced)
            return std::unexpected(error);
    }
    return {};
}

std::expected<FileLock, std::error_code> FileLock::acquire(const std::filesystem::path& lockFile)
{
    int descriptor = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return std::unexpected(lastError());
    while (::flock(descriptor, LOCK_EX) != 0) {
        if (errno != EINTR) {
            auto error = lastError();
            ::close(descriptor);
            return std::unexpected(error);
        }
    }
    return FileLock(descriptor);
}

FileLock::FileLock(FileLock&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
{
}

FileLock::~FileLock()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor); // closing the last descriptor releases the flock
}

} // namespace Platform
