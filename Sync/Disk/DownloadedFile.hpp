#pragma once

#include <memory>
#include <string>

namespace Sync {

// The finished file of one download as the transport left it (anywhere: a
// temporary folder, possibly on another file system), before the disk store
// puts it in place. Owns the file: going without being placed, it removes
// it, so that no download leaves its bytes behind whatever ends it (a
// failure, a disposed run, a refused placement). Move-only; the moved-from
// object owns nothing.
//
// Threading: one owner at a time; the removal runs on the thread on which
// the last owner lets go.
class DownloadedFile {
public:
    DownloadedFile() = default;
    // Takes over the file at `path` (absolute).
    explicit DownloadedFile(std::string path);
    ~DownloadedFile();

    DownloadedFile(DownloadedFile&& other) noexcept;
    DownloadedFile& operator=(DownloadedFile&& other) noexcept;
    DownloadedFile(const DownloadedFile&) = delete;
    DownloadedFile& operator=(const DownloadedFile&) = delete;

    // Where the file lies; empty once it was placed or given up.
    [[nodiscard]] const std::string& path() const { return m_path; }
    // The file was moved away by its new owner: nothing is removed any more.
    void release() { m_path.clear(); }
    // Removes the file now (nothing when it is already gone).
    void discard();

private:
    std::string m_path;
};

// How a download travels to the engine: streams copy their values, the file
// itself is taken out (moved) by the one who places it.
using DownloadedFileRef = std::shared_ptr<DownloadedFile>;

} // namespace Sync
