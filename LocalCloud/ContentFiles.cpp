#include "LocalCloud/ContentFiles.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
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
        if (named)
            std::filesystem::rename(path, contentPath(identifier), error);
        else
            std::filesystem::remove(path, error);
    }
}

std::error_code ContentFiles::stage(const std::filesystem::path& temporaryFile, std::int64_t identifier)
{
    std::error_code error;
    std::filesystem::rename(temporaryFile, nextPath(identifier), error);
    return error;
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
    return error;
}

bool ContentFiles::write(std::int64_t identifier, const std::string& content)
{
    std::ofstream stream(contentPath(identifier), std::ios::binary | std::ios::trunc);
    stream << content;
    return static_cast<bool>(stream);
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
