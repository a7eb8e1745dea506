#include "Quarlink/Session/LoginRequest.hpp"

namespace Quarlink {

LoginRequest LoginRequest::make(const Credentials& credentials, WorldID world)
{
    return LoginRequest { world, credentials.username, credentials.password };
}

void LoginRequest::encode(JSONObjectWriter& writer) const
{
    writer.encode("world", rawValue(world));
    writer.encode("login", login);
    writer.encode("password", password);
}

LoginRequest LoginRequest::redactedForReport() const
{
    return LoginRequest { world, "...", "..." };
}

std::string LoginRequest::debugDescription() const
{
    return "LoginRequest(" + login + ")";
}

JSON LoginRequest::dummyResponseJSON()
{
    return JSON { { "cid", 123456789 } };
}

} // namespace Quarlink
