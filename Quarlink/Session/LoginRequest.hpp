#pragma once

#include "Quarlink/Coding/JSONEncoder.hpp"
#include "Quarlink/Identity/Credentials.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Session/WorldID.hpp"
#include "Reactive/Result.hpp"

#include <string>

namespace Quarlink {

// Logs a user in: POST "login" with the world, the login name and the
// password as a JSON object. The success value is empty (the answer is not
// read); the session the service opens stays in the client's cookies. Not an
// authenticated request: a failure, a refused password included, is passed on
// unchanged and never renews a session. A failure record shows the request
// with "..." in place of login and password.
struct LoginRequest {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits {
        .body = BodyKind::ownJSON,
        .overrides = { RequestMember::method, RequestMember::redactedForReport, RequestMember::dummyResponseJSON },
    };

    WorldID world = WorldID::talvern;
    // The credentials' user name.
    std::string login;
    // The credentials' password.
    std::string password;

    [[nodiscard]] static LoginRequest make(const Credentials& credentials, WorldID world);

    [[nodiscard]] std::string path() const { return "login"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::post; }
    // "world", "login", "password", in this order; the world as its raw value text.
    void encode(JSONObjectWriter& writer) const;
    // The same world, with login and password both "...".
    [[nodiscard]] LoginRequest redactedForReport() const;

    // "LoginRequest(<login>)"; never the password.
    [[nodiscard]] std::string debugDescription() const;
    // The body of the canned answer (`dummyResponse`): {"cid": 123456789}.
    [[nodiscard]] static JSON dummyResponseJSON();
};

} // namespace Quarlink
