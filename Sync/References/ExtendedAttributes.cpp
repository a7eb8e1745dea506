#include "Sync/References/ExtendedAttributes.hpp"

#include "Platform/FileSystem/FileIdentity.hpp"
#include "Platform/FileSystem/ItemStat.hpp"
#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Archive/KeyedArchive.hpp"

#include <mutex>

namespace Sync {

namespace {

    struct NameState {
        std::mutex mutex;
        std::string applicationIdentifier { "Orvella" };
        std::optional<std::string> name;
    };

    NameState& nameState()
    {
        static NameState state;
        return state;
    }

    std::optional<Platform::OwnChangeRegistry::Registration> registerChange(Platform::OwnChangeRegistry* ownChanges,
        const std::string& path)
    {
        if (!ownChanges)
            return std::nullopt;
        return ownChanges->registerChange(path, Platform::OwnChangeRegistry::Scope::item);
    }

    void removeAttribute(const std::string& path, const std::string& key,
        const Platform::ExtendedAttributes& attributes, Platform::OwnChangeRegistry* ownChanges)
    {
        auto registration = registerChange(ownChanges, path);
        (void)attributes.removeValue(path, key);
    }

    std::shared_ptr<QVExtendedAttributes> decode(const std::vector<std::uint8_t>& bytes)
    {
        auto dictionary = KeyedArchive::unarchivedDictionary(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        if (!dictionary)
            return nullptr;
        return QVExtendedAttributes::create(*dictionary);
    }

    bool bookmarkLeadsTo(const Platform::Data& bookmark, const std::string& path)
    {
        auto stored = Platform::FileIdentity::fromBookmarkData(bookmark.bytes());
        if (!stored)
            return false;
        auto current = Platform::FileIdentity::of(path);
        return current && *current == *stored;
    }

} // namespace

const std::string& extendedAttributeName()
{
    auto& state = nameState();
    std::lock_guard lock(state.mutex);
    if (!state.name)
        state.name = "user." + state.applicationIdentifier + ".attributes";
    return *state.name;
}

bool setExtendedAttributeApplicationIdentifier(std::string applicationIdentifier)
{
    auto& state = nameState();
    std::lock_guard lock(state.mutex);
    if (state.name)
        return false;
    state.applicationIdentifier = std::move(applicationIdentifier);
    return true;
}

Platform::Data sha256(const Platform::Data* data)
{
    if (!data) {
        Platform::Log::line("Could not create sha256 digest from data with length 0.");
        return {};
    }
    return Platform::Digest::of(Platform::Digest::Algorithm::SHA256, data->bytes());
}

Platform::Data sha256(const Platform::Data& data) { return sha256(&data); }

Platform::Data pathHash(std::string_view filePath)
{
    if (filePath.size() > 1 && filePath.ends_with('/'))
        filePath.remove_suffix(1);
    // ASCII is its own NFC form: no copy for the usual path.
    if (Platform::isASCII(filePath))
        return Platform::Digest::of(Platform::Digest::Algorithm::SHA256, filePath);
    return sha256(Platform::Data::fromString(Platform::precomposed(filePath)));
}

std::optional<QVCloudExtendedAttributes> QVExtendedAttributeValueForKey(std::string_view filePath,
    const std::string& key, const Platform::URL& url, const Platform::ExtendedAttributes& attributes,
    Platform::OwnChangeRegistry* ownChanges)
{
    if (!url.isFileURL())
        return std::nullopt;
    return QVExtendedAttributeValueAtPath(filePath, key, url.path(), attributes, ownChanges);
}

std::optional<QVCloudExtendedAttributes> QVExtendedAttributeValueAtPath(std::string_view filePath,
    const std::string& key, const std::string& path, const Platform::ExtendedAttributes& attributes,
    Platform::OwnChangeRegistry* ownChanges)
{
    auto value = attributes.value(path, key);
    if (!value || !*value || (*value)->empty())
        return std::nullopt;

    auto record = decode(**value);
    if (!record || record->remoteFileID() == 0) {
        removeAttribute(path, key, attributes, ownChanges);
        return std::nullopt;
    }
    // The item sits where the attribute was written: a copy of the item that
    // keeps the path (restored from a backup, say) keeps its binding. Or the
    // bookmark leads here: the attribute moved with its item. The path is
    // asked first, since it needs no look at the disk.
    if (record->fileNameHash() == pathHash(filePath) || bookmarkLeadsTo(record->bookmarkData(), path))
        return QVCloudExtendedAttributes::attributesWithFilePath(std::string(filePath), *record);
    // A copy elsewhere of a bound item: the binding belongs to the original.
    removeAttribute(path, key, attributes, ownChanges);
    return std::nullopt;
}

bool QVSetExtendedAttributeValue(const QVCloudExtendedAttributes* value, const std::string& key,
    const Platform::URL& url, const Platform::ExtendedAttributes& attributes, Platform::OwnChangeRegistry* ownChanges)
{
    if (!url.isFileURL())
        return false;
    auto path = url.path();
    if (!Platform::ItemStat::of(path))
        return false;
    if (!value) {
        auto registration = registerChange(ownChanges, path);
        return attributes.removeValue(path, key).has_value();
    }
    auto identity = Platform::FileIdentity::of(path);
    if (!identity)
        return false;
    QVExtendedAttributes record(static_cast<std::uint64_t>(value->remoteFileId), pathHash(value->filePath),
        Platform::Data(identity->bookmarkData()));
    auto archive = record.data();
    auto registration = registerChange(ownChanges, path);
    return attributes.setValue(path, key, archive.vector()).has_value();
}

} // namespace Sync
