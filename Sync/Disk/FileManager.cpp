#include "Sync/Disk/FileManager.hpp"

#include "Platform/Foundation/Log.hpp"

namespace Sync {

void FileManager::logEnumerationError(const Platform::EnumerationError& error)
{
    Platform::Log::line("❗️ " + error.error.description());
}

DirectorySequence::Iterator::Iterator(std::shared_ptr<Platform::DirectoryEnumerator> enumerator)
    : m_enumerator(std::move(enumerator))
{
    ++*this;
}

DirectorySequence::Iterator& DirectorySequence::Iterator::operator++()
{
    m_current.reset();
    if (!m_enumerator)
        return *this;
    auto entry = m_enumerator->next();
    if (!entry) {
        m_enumerator.reset();
        return *this;
    }
    auto isDirectory = entry->status.isDirectory() ? Platform::URL::IsDirectory::Yes : Platform::URL::IsDirectory::No;
    m_current = Platform::URL::fileURL(entry->path, isDirectory);
    return *this;
}

DirectorySequence::Iterator DirectorySequence::begin() const
{
    if (!m_directory.isFileURL())
        return Iterator();
    auto path = m_directory.path();
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    auto enumerator = Platform::DirectoryEnumerator::open(path, &FileManager::logEnumerationError);
    if (!enumerator) {
        FileManager::logEnumerationError({ path, "", enumerator.error() });
        return Iterator();
    }
    return Iterator(std::make_shared<Platform::DirectoryEnumerator>(std::move(*enumerator)));
}

} // namespace Sync
