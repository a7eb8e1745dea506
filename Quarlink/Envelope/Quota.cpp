#include "Quarlink/Envelope/Quota.hpp"

#include "Platform/Foundation/StringTable.hpp"

#include <limits>

namespace Quarlink {

std::expected<Quota, DecodingError> Quota::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto total = object->decode<std::int64_t>("total");
    if (!total)
        return std::unexpected(total.error());
    auto used = object->decode<std::int64_t>("used");
    if (!used)
        return std::unexpected(used.error());
    return Quota { *used, *total };
}

namespace {

// How full the storage is; the banner differs for the last two.
enum class Status { normal, full, moreThanFull };

constexpr std::int64_t fullThreshold = 50'000'000;

std::int64_t saturatingDifference(std::int64_t left, std::int64_t right)
{
    std::int64_t difference = 0;
    if (!__builtin_sub_overflow(left, right, &difference))
        return difference;
    return right < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

Status status(const Quota& quota)
{
    auto freeBytes = saturatingDifference(quota.totalBytes, quota.usedBytes);
    if (freeBytes < 0)
        return Status::moreThanFull;
    if (freeBytes <= fullThreshold)
        return Status::full;
    return Status::normal;
}

} // namespace

double Quota::fractionUsed() const
{
    if (totalBytes <= 0)
        return 1.0;
    return static_cast<double>(usedBytes) / static_cast<double>(totalBytes);
}

std::optional<std::string> Quota::warningText() const
{
    switch (status(*this)) {
    case Status::moreThanFull:
        return Platform::localizedString("MemoryMoreFullBannerText");
    case Status::full:
        return Platform::localizedString("MemoryFullBannerText");
    case Status::normal:
        break;
    }
    return std::nullopt;
}

std::string Quota::debugDescription() const
{
    return "Quota(" + std::to_string(usedBytes) + " of " + std::to_string(totalBytes) + ")";
}

} // namespace Quarlink
