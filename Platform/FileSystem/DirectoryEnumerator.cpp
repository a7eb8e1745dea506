#include "Platform/FileSystem/DirectoryEnumerator.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <cerrno>
#include <cstring>
#include <fts.h>
#include <sys/stat.h>
#include <utility>

namespace Platform {

struct DirectoryEnumerator::State {
    FTS* fts = nullptr;
    FTSENT* last = nullptr;
    std::string root;
    ErrorHandler errorHandler;
};

namespace {

int compareNames(const FTSENT** left, const FTSENT** right)
{
    return std::strcmp((*left)->fts_name, (*right)->fts_name);
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

std::expected<DirectoryEnumerator, FileSystemError> DirectoryEnumerator::open(std::string directory,
                                                                              ErrorHandler errorHandler)
{
    directory = withoutTrailingSlashes(std::move(directory));
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0) {
        return std::unexpected(FileSystemError::fromErrno(errno, directory));
    }
    if (!S_ISDIR(status.st_mode)) {
        return std::unexpected(FileSystemError::make(FileSystemErrorCode::notADirectory, directory));
    }
    char* paths[] = {directory.data(), nullptr};
    // FTS_NOCHDIR: the working directory is process-wide and scans run on
    // worker threads. FTS_PHYSICAL: links are reported, never followed;
    // FTS_COMFOLLOW still follows a cloud folder that is itself a link.
    FTS* fts = ::fts_open(paths, FTS_PHYSICAL | FTS_NOCHDIR | FTS_COMFOLLOW, compareNames);
    if (fts == nullptr) {
        return std::unexpected(FileSystemError::fromErrno(errno, directory));
    }
    if (!errorHandler) {
        errorHandler = [](const EnumerationError& error) { Log::line("❗️ " + error.error.description()); };
    }
    return DirectoryEnumerator(new State{fts, nullptr, std::move(directory), std::move(errorHandler)});
}

DirectoryEnumerator::DirectoryEnumerator(State* state) : m_state(state) {}

DirectoryEnumerator::DirectoryEnumerator(DirectoryEnumerator&& other) noexcept
    : m_state(std::exchange(other.m_state, nullptr))
{
}

DirectoryEnumerator& DirectoryEnumerator::operator=(DirectoryEnumerator&& other) noexcept
{
    if (this != &other) {
        this->~DirectoryEnumerator();
        m_state = std::exchange(other.m_state, nullptr);
    }
    return *this;
}

DirectoryEnumerator::~DirectoryEnumerator()
{
    if (m_state != nullptr) {
        ::fts_close(m_state->fts);
        delete m_state;
        m_state = nullptr;
    }
}

std::optional<DirectoryEntry> DirectoryEnumerator::next()
{
    if (m_state == nullptr) {
        return std::nullopt;
    }
    while (FTSENT* entry = ::fts_read(m_state->fts)) {
        m_state->last = nullptr;
        if (entry->fts_level == FTS_ROOTLEVEL) {
            if (entry->fts_info == FTS_DNR || entry->fts_info == FTS_ERR) {
                m_state->errorHandler({entry->fts_path, "", FileSystemError::fromErrno(entry->fts_errno, entry->fts_path)});
            }
            continue;
        }
        std::string path(entry->fts_path, entry->fts_pathlen);
        std::string relativePath = m_state->root == "/" ? path : path.substr(m_state->root.size());
        switch (entry->fts_info) {
        case FTS_DP:
            continue;
        case FTS_DNR:
        case FTS_ERR:
        case FTS_NS:
            m_state->errorHandler({std::move(path), std::move(relativePath),
                                   FileSystemError::fromErrno(entry->fts_errno, std::string(entry->fts_path))});
            continue;
        case FTS_DC:
            m_state->errorHandler({std::move(path), std::move(relativePath),
                                   FileSystemError::fromErrno(ELOOP, std::string(entry->fts_path))});
            continue;
        default:
            break;
        }
        DirectoryEntry result;
        result.name.assign(entry->fts_name, entry->fts_namelen);
        result.hasValidName = isValidUTF8(result.name);
        result.status = ItemStat::from(*entry->fts_statp);
        result.depth = static_cast<int>(entry->fts_level);
        result.path = std::move(path);
        result.relativePath = std::move(relativePath);
        m_state->last = entry;
        if (entry->fts_info == FTS_D && !result.hasValidName) {
            skipDescendants();
        }
        return result;
    }
    if (errno != 0) {
        m_state->errorHandler({m_state->root, "", FileSystemError::fromErrno(errno, m_state->root)});
    }
    ::fts_close(m_state->fts);
    delete m_state;
    m_state = nullptr;
    return std::nullopt;
}

void DirectoryEnumerator::skipDescendants()
{
    if (m_state != nullptr && m_state->last != nullptr) {
        ::fts_set(m_state->fts, m_state->last, FTS_SKIP);
    }
}

}  // namespace Platform
