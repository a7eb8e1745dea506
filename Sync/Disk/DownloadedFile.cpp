#include "Sync/Disk/DownloadedFile.hpp"

#include <utility>
#include <unistd.h>

namespace Sync {

DownloadedFile::DownloadedFile(std::string path)
    : m_path(std::move(path))
{
}

DownloadedFile::~DownloadedFile()
{
    discard();
}

DownloadedFile::DownloadedFile(DownloadedFile&& other) noexcept
    : m_path(std::exchange(other.m_path, {}))
{
}

DownloadedFile& DownloadedFile::operator=(DownloadedFile&& other) noexcept
{
    if (this != &other) {
        discard();
        m_path = std::exchange(other.m_path, {});
    }
    return *this;
}

void DownloadedFile::discard()
{
    // unlink(2) removes the name only: never a folder, never what a link names.
    if (!m_path.empty())
        static_cast<void>(::unlink(m_path.c_str()));
    m_path.clear();
}

} // namespace Sync
