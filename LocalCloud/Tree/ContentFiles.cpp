#include "LocalCloud/Tree/ContentFiles.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace LocalCloud {

namespace {

constexpr const char* temporaryPrefix = ".incoming-";
constexpr const char* nextSuffix = ".next";

} // namespace

ContentFiles::ContentFiles(std::filesystem::path folder)
    : m_folder(std::move(folder))
{
}

std::filesystem::path ContentFiles::contentPath(std::int64_t identifier) const
{
    return m_folder / std::to_string(identifier);
}

std::filesystem::path ContentFiles::nextPath(std::int64_t identifier) const
{
    return m_folder / (std::to_string(identifier) + nextSuffix);
}

std::filesystem::path ContentFiles::temporaryPath(std::uint64_t random)
{
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, "%016llx-%llu", static_cast<unsigned long long>(random),
        static_cast<unsigned long long>(++m_temporaryCounter));
    return m_folder / (std::string(temporaryPrefix) + suffix);
}

void ContentFiles::removeTemporaries()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, error)) {
        if (entry.path().filename().string().starts_with(temporaryPrefix))
            std::filesystem::remove(entry.path(), error);
    }
}

void ContentFiles::finishWaiting(const std::function<std::optional<Recorded>(std::int64_t identifier)>& recordOf)
{
    std::error_code error;
    std::vector<std::filesystem::path> waiting;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, error)) {
        if (entry.path().filename().string().ends_with(nextSuffix))
            waiting.push_back(entry.path());
    }
    bool renamed = false;
    for (const auto& path : waiting) {
        auto name = path.filename().string();
        std::int64_t identifier = 0;
        auto digits = name.substr(0, name.size() - std::string_view(nextSuffix).size());
        auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), identifier);
        std::optional<Recorded> recorded;
        if (failure == std::errc() && end == digits.data() + digits.size())
            recorded = recordOf(identifier);
        bool named = recorded.has_value();
        if (named) {
            auto size = std::filesystem::file_size(path, error);
            auto digest = Platform::Digest::ofFile(Platform::Digest::Algorithm::SHA1, path.string());
            named = !error && static_cast<std::int64_t>(size) == recorded->size && digest
                && Platform::hexString(*digest) == recorded->sha1;
        }
        if (named) {
            std::filesystem::rename(path, contentPath(identifier), error);
            renamed = true;
        } else {
            std::filesystem::remove(path, error);
        }
    }
    if (renamed)
        static_cast<void>(syncFolder());
}

std::optional<std::string> ContentFiles::damage(std::int64_t identifier, const Recorded& recorded,
    std::int64_t hashLimit) const
{
    auto path = contentPath(identifier);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return "its content is missing";
    if (status.st_size != recorded.size)
        return "its content has " + std::to_string(status.st_size) + " bytes, not " + std::to_string(recorded.size);
    if (recorded.size > hashLimit)
        return std::nullopt;
    auto digest = Platform::Digest::ofFile(Platform::Digest::Algorithm::SHA1, path.string());
    if (!digest)
        return "its content cannot be read";
    if (Platform::hexString(*digest) != recorded.sha1)
        return "its content is not the recorded one";
    return std::nullopt;
}

std::error_code ContentFiles::syncFolder() const
{
    int descriptor = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return { errno, std::system_category() };
    std::error_code error;
    if (::fsync(descriptor) != 0)
        error = { errno, std::system_category() };
    ::close(descriptor);
    return error;
}

std::error_code ContentFiles::stage(const std::filesystem::path& temporaryFile, std::int64_t identifier)
{
    std::error_code error;
    std::filesystem::rename(temporaryFile, nextPath(identifier), error);
    return error ? error : syncFolder();
}

void ContentFiles::discardStaged(std::int64_t identifier)
{
    std::error_code ignored;
    std::filesystem::remove(nextPath(identifier), ignored);
}

std::error_code ContentFiles::placeStaged(std::int64_t identifier)
{
    std::error_code error;
    std::filesystem::rename(nextPath(identifier), contentPath(identifier), error);
    return error ? error : syncFolder();
}

bool ContentFiles::write(std::int64_t identifier, const std::string& content)
{
    int descriptor = ::open(contentPath(identifier).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    bool written = true;
    for (std::size_t offset = 0; written && offset < content.size();) {
        auto count = ::write(descriptor, content.data() + offset, content.size() - offset);
        if (count < 0 && errno == EINTR)
            continue;
        written = count > 0;
        offset += written ? static_cast<std::size_t>(count) : 0;
    }
    written = written && ::fsync(descriptor) == 0;
    return ::close(descriptor) == 0 && written;
}

std::error_code ContentFiles::syncWritten() const
{
    return syncFolder();
}

void ContentFiles::remove(std::int64_t identifier)
{
    std::error_code ignored;
    std::filesystem::remove(contentPath(identifier), ignored);
}

std::optional<std::pair<int, std::int64_t>> ContentFiles::open(std::int64_t identifier) const
{
    int descriptor = ::open(contentPath(identifier).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0) {
        if (descriptor >= 0)
            ::close(descriptor);
        return std::nullopt;
    }
    return std::pair { descriptor, static_cast<std::int64_t>(status.st_size) };
}

} // namespace LocalCloud
