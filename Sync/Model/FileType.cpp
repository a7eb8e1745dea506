#include "Sync/Model/FileType.hpp"

#include "Platform/Foundation/Unicode.hpp"

#include <algorithm>
#include <utility>

namespace Sync {

namespace {

// The identifiers of the types people keep in a cloud folder. Without the
// platform's type database this table is the whole knowledge; anything else
// is "public.item".
constexpr std::pair<std::string_view, std::string_view> knownTypes[] = {
    { "application/json", "public.json" },
    { "application/msword", "com.microsoft.word.doc" },
    { "application/pdf", "com.adobe.pdf" },
    { "application/rtf", "public.rtf" },
    { "application/vnd.ms-excel", "com.microsoft.excel.xls" },
    { "application/vnd.ms-powerpoint", "com.microsoft.powerpoint.ppt" },
    { "application/vnd.openxmlformats-officedocument.presentationml.presentation", "org.openxmlformats.presentationml.presentation" },
    { "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", "org.openxmlformats.spreadsheetml.sheet" },
    { "application/vnd.openxmlformats-officedocument.wordprocessingml.document", "org.openxmlformats.wordprocessingml.document" },
    { "application/x-tar", "public.tar-archive" },
    { "application/xml", "public.xml" },
    { "application/zip", "public.zip-archive" },
    { "audio/aac", "public.aac-audio" },
    { "audio/mpeg", "public.mp3" },
    { "audio/wav", "com.microsoft.waveform-audio" },
    { "image/bmp", "com.microsoft.bmp" },
    { "image/gif", "com.compuserve.gif" },
    { "image/heic", "public.heic" },
    { "image/jpeg", "public.jpeg" },
    { "image/png", "public.png" },
    { "image/svg+xml", "public.svg-image" },
    { "image/tiff", "public.tiff" },
    { "text/csv", "public.comma-separated-values-text" },
    { "text/html", "public.html" },
    { "text/plain", "public.plain-text" },
    { "text/rtf", "public.rtf" },
    { "text/xml", "public.xml" },
    { "video/mp4", "public.mpeg-4" },
    { "video/mpeg", "public.mpeg" },
    { "video/quicktime", "com.apple.quicktime-movie" },
    { "video/x-msvideo", "public.avi" },
};

std::string lowercasedASCII(std::string_view text)
{
    std::string result(text);
    for (auto& character : result)
        if (character >= 'A' && character <= 'Z')
            character = static_cast<char>(character - 'A' + 'a');
    return result;
}

} // namespace

FileType::FileType(std::string mimeType)
    : m_folder(Platform::canonicallyEqual(mimeType, folderMimeType))
    , m_mimeType(m_folder ? std::string() : std::move(mimeType))
{
}

FileType FileType::file(std::string mimeType)
{
    return FileType(false, std::move(mimeType));
}

FileType FileType::folder()
{
    return FileType(true, std::string());
}

std::string FileType::mimeType() const
{
    return m_folder ? std::string(folderMimeType) : m_mimeType;
}

std::string FileType::uti() const
{
    if (m_folder)
        return "public.directory";
    // Parameters such as "; charset=utf-8" do not change the type.
    std::string key = lowercasedASCII(m_mimeType.substr(0, m_mimeType.find(';')));
    while (!key.empty() && key.back() == ' ')
        key.pop_back();
    auto found = std::find_if(std::begin(knownTypes), std::end(knownTypes),
        [&](const auto& entry) { return entry.first == key; });
    return found == std::end(knownTypes) ? "public.item" : std::string(found->second);
}

std::string FileType::description() const
{
    return m_folder ? "Folder" : "File(" + m_mimeType + ")";
}

std::expected<FileType, DecodingError> FileType::decoded(const ArchiveValue& value)
{
    if (auto text = value.text())
        return FileType(*text);
    return std::unexpected(DecodingError { "String" });
}

bool operator==(const FileType& left, const FileType& right)
{
    if (left.m_folder || right.m_folder)
        return left.m_folder && right.m_folder;
    return Platform::canonicallyEqual(left.m_mimeType, right.m_mimeType);
}

} // namespace Sync
