#include "Sync/Model/FileType.hpp"

#include "Platform/Foundation/Unicode.hpp"

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>
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

// The MIME texts of the process, each once. Entries are never removed, so
// a text's address stays valid for the life of the process.
class SharedTexts {
public:
    // The table's copy of `text`; nullptr when it takes no more.
    const std::string* find(std::string_view text)
    {
        if (text.size() > FileType::sharedTextLength)
            return nullptr;
        std::lock_guard lock(m_mutex);
        if (auto found = m_texts.find(text); found != m_texts.end())
            return found->second.get();
        if (m_texts.size() >= FileType::sharedTextLimit)
            return nullptr;
        auto kept = std::make_unique<const std::string>(text);
        auto* address = kept.get();
        m_texts.emplace(std::string_view(*address), std::move(kept));
        return address;
    }

    static SharedTexts& shared()
    {
        // Never destroyed: types in static objects may outlive any order of destruction.
        static auto* texts = new SharedTexts();
        return *texts;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<std::string_view, std::unique_ptr<const std::string>> m_texts;
};

const std::string& emptyText()
{
    static const std::string empty;
    return empty;
}

} // namespace

FileType::FileType(bool folder, std::string_view mimeType)
    : m_mimeType(folder ? &emptyText() : SharedTexts::shared().find(mimeType))
    , m_folder(folder)
{
    if (!m_mimeType) {
        m_mimeType = new std::string(mimeType);
        m_owned = true;
    }
}

FileType::FileType(std::string_view mimeType)
    : FileType(Platform::canonicallyEqual(mimeType, folderMimeType), mimeType)
{
}

FileType::FileType(const FileType& other)
    : m_mimeType(other.m_owned ? new std::string(other.text()) : other.m_mimeType)
    , m_folder(other.m_folder)
    , m_owned(other.m_owned)
{
}

FileType::FileType(FileType&& other) noexcept
    : m_mimeType(std::exchange(other.m_mimeType, &emptyText()))
    , m_folder(other.m_folder)
    , m_owned(std::exchange(other.m_owned, false))
{
}

FileType& FileType::operator=(const FileType& other)
{
    if (this != &other)
        *this = FileType(other);
    return *this;
}

FileType& FileType::operator=(FileType&& other) noexcept
{
    if (this != &other) {
        if (m_owned)
            delete m_mimeType;
        m_mimeType = std::exchange(other.m_mimeType, &emptyText());
        m_folder = other.m_folder;
        m_owned = std::exchange(other.m_owned, false);
    }
    return *this;
}

FileType::~FileType()
{
    if (m_owned)
        delete m_mimeType;
}

FileType FileType::file(std::string_view mimeType)
{
    return FileType(false, mimeType);
}

FileType FileType::folder()
{
    return FileType(true, std::string_view());
}

std::string FileType::mimeType() const
{
    return m_folder ? std::string(folderMimeType) : text();
}

std::string FileType::uti() const
{
    if (m_folder)
        return "public.directory";
    // Parameters such as "; charset=utf-8" do not change the type.
    const auto& mimeType = text();
    std::string key = lowercasedASCII(std::string_view(mimeType).substr(0, mimeType.find(';')));
    while (!key.empty() && key.back() == ' ')
        key.pop_back();
    auto found = std::find_if(std::begin(knownTypes), std::end(knownTypes),
        [&](const auto& entry) { return entry.first == key; });
    return found == std::end(knownTypes) ? "public.item" : std::string(found->second);
}

std::string FileType::description() const
{
    return m_folder ? "Folder" : "File(" + text() + ")";
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
    // One table text is one text.
    return left.m_mimeType == right.m_mimeType || Platform::canonicallyEqual(left.text(), right.text());
}

} // namespace Sync
