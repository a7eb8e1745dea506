#include "Quarlink/Account/CustomerInfo.hpp"

namespace Quarlink {

std::expected<CustomerInfo, DecodingError> CustomerInfo::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    CustomerInfo info;
    std::optional<DecodingError> error;
    bool complete = object->read("cid", info.cid, error) && object->read("first_name", info.firstName, error)
        && object->read("last_name", info.lastName, error) && object->read("email", info.email, error)
        && object->read("root_file_id", info.rootFolderID, error) && object->read("features", info.features, error)
        && object->read("main_product_short_name", info.product, error) && object->read("limits", info.limits, error);
    if (!complete)
        return std::unexpected(std::move(*error));
    return info;
}

std::string CustomerInfo::fullName() const
{
    if (!firstName.empty() && !lastName.empty())
        return firstName + " " + lastName;
    if (!firstName.empty())
        return firstName;
    if (!lastName.empty())
        return lastName;
    if (!email.empty())
        return email;
    return "Unbekannt";
}

} // namespace Quarlink
