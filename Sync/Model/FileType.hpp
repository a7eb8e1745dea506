#pragma once

#include "Sync/Archive/ArchiveValue.hpp"
#include "Sync/Archive/DecodingError.hpp"

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

namespace Sync {

// The kind of a file: a regular file with its MIME type exactly as supplied,
// or a folder (MIME type "httpd/unix-directory"). A plain value; no hash.
//
// Every record holds one, and a tree holds a few dozen distinct MIME types:
// the texts are kept once per process in a table that only grows, and a
// type points at its text there. So that no listing can make the table grow
// without end, it takes at most `sharedTextLimit` texts of at most
// `sharedTextLength` bytes; a type with any other text keeps its own copy.
// Safe to make and copy on any thread.
class FileType {
public:
    static constexpr std::string_view folderMimeType = "httpd/unix-directory";
    static constexpr std::size_t sharedTextLimit = 4096;
    static constexpr std::size_t sharedTextLength = 255;

    // `folder` when the text equals "httpd/unix-directory" (no case folding:
    // "HTTPD/UNIX-DIRECTORY" is a file type), otherwise `file(text)`.
    explicit FileType(std::string_view mimeType);

    [[nodiscard]] static FileType file(std::string_view mimeType);
    [[nodiscard]] static FileType folder();

    FileType(const FileType& other);
    FileType(FileType&& other) noexcept;
    FileType& operator=(const FileType& other);
    FileType& operator=(FileType&& other) noexcept;
    ~FileType();

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

    // Whether this type's text is the one the process table keeps (for tests).
    [[nodiscard]] bool sharesText() const { return !m_owned; }

private:
    FileType(bool folder, std::string_view mimeType);

    [[nodiscard]] const std::string& text() const { return *m_mimeType; }

    // The table's text, or with `m_owned` a copy of its own; empty for a folder.
    const std::string* m_mimeType;
    bool m_folder { false };
    bool m_owned { false };
};

} // namespace Sync
