#include "Sync/Sharing/PrivateShareInfo.hpp"

#include "Platform/Foundation/Unicode.hpp"

namespace Sync {

namespace {

ArchiveValue optionalInteger(std::optional<std::int64_t> value)
{
    return value ? ArchiveValue(*value) : ArchiveValue(nullptr);
}

std::optional<std::int64_t> integerOrAbsent(const ArchiveDictionary& dictionary, std::string_view key)
{
    auto value = find(dictionary, key);
    return value ? value->integer() : std::nullopt;
}

const std::string* textOrNull(const ArchiveDictionary& dictionary, std::string_view key)
{
    auto value = find(dictionary, key);
    return value ? value->text() : nullptr;
}

bool sameText(const std::optional<std::string>& left, const std::optional<std::string>& right)
{
    if (!left || !right)
        return !left && !right;
    return Platform::canonicallyEqual(*left, *right);
}

} // namespace

ArchiveDictionary dictionary(const PrivateShareInfo& info)
{
    const auto& recipient = info.recipient();
    return ArchiveDictionary {
        { "type", "private" },
        { "shareID", optionalInteger(info.shareID()) },
        { "fileID", optionalInteger(info.fileID()) },
        { "isMine", info.isMine() },
        { "status", rawValue(info.status()) },
        { "recipient", recipient ? ArchiveValue(*recipient) : ArchiveValue(nullptr) },
        { "email", info.email() },
        { "fileName", info.fileName() },
    };
}

bool sameShareInfo(const PrivateShareInfo* left, const PrivateShareInfo* right)
{
    if (!left || !right)
        return !left && !right;
    return left->shareID() == right->shareID()
        && left->fileID() == right->fileID()
        && left->isMine() == right->isMine()
        && left->status() == right->status()
        && sameText(left->recipient(), right->recipient())
        && Platform::canonicallyEqual(left->email(), right->email())
        && Platform::canonicallyEqual(left->fileName(), right->fileName());
}

bool sameShareInfos(const std::vector<std::shared_ptr<const PrivateShareInfo>>& left,
    const std::vector<std::shared_ptr<const PrivateShareInfo>>& right)
{
    if (left.size() != right.size())
        return false;
    for (std::size_t index = 0; index < left.size(); ++index)
        if (!sameShareInfo(left[index].get(), right[index].get()))
            return false;
    return true;
}

std::optional<PrivateShareInfoFields> privateShareInfoFields(const ArchiveDictionary& dictionary)
{
    if (dictionary.empty())
        return std::nullopt;
    auto type = textOrNull(dictionary, "type");
    if (!type || *type != "private")
        return std::nullopt;
    auto isMineValue = find(dictionary, "isMine");
    auto isMine = isMineValue ? isMineValue->boolean() : std::nullopt;
    if (!isMine)
        return std::nullopt;
    auto statusValue = integerOrAbsent(dictionary, "status");
    auto status = statusValue ? shareInfoStatus(*statusValue) : std::nullopt;
    if (!status)
        return std::nullopt;
    auto email = textOrNull(dictionary, "email");
    auto fileName = textOrNull(dictionary, "fileName");
    if (!email || !fileName)
        return std::nullopt;

    auto recipient = textOrNull(dictionary, "recipient");
    return PrivateShareInfoFields {
        integerOrAbsent(dictionary, "shareID"),
        integerOrAbsent(dictionary, "fileID"),
        *isMine,
        *status,
        recipient ? std::optional<std::string>(*recipient) : std::nullopt,
        *email,
        *fileName,
    };
}

} // namespace Sync
