#pragma once

#include "Sync/Archive/ArchiveValue.hpp"
#include "Sync/Archive/DecodingError.hpp"

#include <expected>
#include <string>
#include <string_view>

namespace Sync {

// The kind of a file: a regular file with its MIME type exactly as supplied,
// or a folder (MIME type "httpd/unix-directory"). A plain value; no hash.
class FileType {
public:
    static constexpr std::string_view folderMimeType = "httpd/unix-directory";

    // `folder` when the text equals "httpd/unix-directory" (no case folding:
    // "HTTPD/UNIX-DIRECTORY" is a file type), otherwise `file(text)`.
    explicit FileType(std::string mimeType);

    [[nodiscard]] static FileType file(std::string mimeType);
    [[nodiscard]] static FileType folder();

    [[nodiscard]] bool isFile() const { return !m_folder; }
    [[nodiscard]] bool isFolder() const { return m_folder; }
    // The file's MIME type; "httpd/unix-directory" for a folder.
    [[nodiscard]] std::string mimeType() const;
    // The uniform type identifier: "public.directory" for a folder, the
    // identifier of well-known MIME types (compared without letter case),
    // "public.item" for anything else.
    [[nodiscard]] std::string uti() const;
    // "File(text/plain)" or "Folder".
    [[nodiscard]] std::string description() const;

    // Single-value coding as the MIME text; decoding maps like the constructor.
    [[nodiscard]] ArchiveValue encoded() const { return ArchiveValue(mimeType()); }
    [[nodiscard]] static std::expected<FileType, DecodingError> decoded(const ArchiveValue& value);

    // Files are equal when their MIME texts are canonically equal; folders equal folders.
    friend bool operator==(const FileType& left, const FileType& right);

private:
    FileType(bool folder, std::string mimeType)
        : m_folder(folder)
        , m_mimeType(std::move(mimeType))
    {
    }

    bool m_folder { false };
    std::string m_mimeType;
};

} // namespace Sync
