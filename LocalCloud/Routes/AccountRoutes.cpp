#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"

#include "LocalCloud/Server/RequestParsing.hpp"

#include <nlohmann/json.hpp>

namespace LocalCloud {

namespace {

// Codes the service answers a login with.
constexpr int loginFailedCode = 40326;
constexpr int temporarilyLockedCode = 40330;
constexpr int permanentlyLockedCode = 40322;
// A session that is missing or no longer live.
constexpr int authenticationRequiredCode = 3001;
// A request body the service cannot read.
constexpr int invalidParametersCode = 1000;

bool isKnownWorld(const std::string& world)
{
    return world == "2" || world == "4" || world == "5";
}

// The three string members of a login body, or nothing when one is missing or not a string.
struct LoginBody {
    std::string world;
    std::string login;
    std::string password;
};

std::optional<LoginBody> readLoginBody(const std::string& text)
{
    auto parsed = parsedObject(text);
    if (!parsed)
        return std::nullopt;
    const auto& json = *parsed;
    auto member = [&](const char* key) -> const nlohmann::json* {
        auto found = json.find(key);
        return found != json.end() && found->is_string() ? &*found : nullptr;
    };
    const auto* world = member("world");
    const auto* login = member("login");
    const auto* password = member("password");
    if (!world || !login || !password)
        return std::nullopt;
    return LoginBody { world->get<std::string>(), login->get<std::string>(), password->get<std::string>() };
}

} // namespace

void LocalCloudServer::Implementation::installAccountRoutes()
{
    routes.push_back({ "POST", std::regex(R"(/v2\.0/login)"),
        [this](const httplib::Request& request, httplib::Response& response, const RequestBody& body,
            const std::smatch&) {
            auto text = body.readAll(request, RequestBody::maximumOpenBytes);
            serveLogin(isJSONContentType(request.get_header_value("Content-Type")) ? text : std::string(), request.remote_addr, response);
        } });
    routes.push_back({ "POST", std::regex(R"(/v2\.0/logout)"),
        [this](const httplib::Request& request, httplib::Response& response, const RequestBody& body,
            const std::smatch&) {
            body.discard(request);
            if (!accounts.logOut(request.get_header_value("Cookie")))
                return respondWithError(response, 401, authenticationRequiredCode, "Authentication required");
            response.status = 200;
            response.set_content("{}", "application/json");
        } });
    routes.push_back({ "GET", std::regex(R"(/v2\.0/hash/create)"),
        [this](const httplib::Request& request, httplib::Response& response, const RequestBody&, const std::smatch&) {
            serveLoginHash(request, response);
        } });
    routes.push_back({ "POST", std::regex(R"(/v2\.0/log/error(/public)?)"),
        [this](const httplib::Request& request, httplib::Response& response, const RequestBody& body,
            const std::smatch& match) {
            serveErrorLog(match[1].matched, request, body.readPrefix(request, Accounts::maximumErrorReportBytes),
                response);
        } });
}

bool LocalCloudServer::Implementation::requireSession(const httplib::Request& request, httplib::Response& response)
{
    if (accounts.checkSession(request.get_header_value("Cookie")) == SessionCheck::valid)
        return true;
    respondWithError(response, 401, authenticationRequiredCode, "Authentication required");
    return false;
}

void LocalCloudServer::Implementation::serveLogin(const std::string& text, const std::string& client,
    httplib::Response& response)
{
    auto body = readLoginBody(text);
    if (!body || !isKnownWorld(body->world)) {
        respondWithError(response, 400, invalidParametersCode, "Invalid parameters");
        return;
    }
    auto result = accounts.logIn(body->world, body->login, body->password, client);
    switch (result.outcome) {
    case Accounts::LoginOutcome::succeeded:
        response.set_header("Set-Cookie", std::string(sessionCookieName) + "=" + result.session + "; Path=/; HttpOnly");
        response.status = 200;
        response.set_content(nlohmann::json { { "cid", result.customerID } }.dump(), "application/json");
        return;
    case Accounts::LoginOutcome::wrongPassword:
        respondWithError(response, 403, loginFailedCode, "Login failed");
        return;
    case Accounts::LoginOutcome::temporarilyLocked:
        respondWithError(response, 403, temporarilyLockedCode, "Account temporarily locked");
        return;
    case Accounts::LoginOutcome::permanentlyLocked:
        respondWithError(response, 403, permanentlyLockedCode, "Account permanently locked");
        return;
    }
}

void LocalCloudServer::Implementation::serveLoginHash(const httplib::Request& request, httplib::Response& response)
{
    if (!requireSession(request, response))
        return;
    auto link = accounts.issueLoginLink("http://" + options.host + ":" + std::to_string(port));
    response.status = 200;
    response.set_content(nlohmann::json { { "urls", { { "login", link } } } }.dump(), "application/json");
}

void LocalCloudServer::Implementation::serveErrorLog(bool publicRoute, const httplib::Request& request,
    std::string body, httplib::Response& response)
{
    // The log takes reports with or without a session; it only notes whose session came along.
    auto user = accounts.sessionUserUnused(request.get_header_value("Cookie"));
    auto mode = accounts.receiveErrorReport({ publicRoute, std::move(body), std::move(user) });
    if (mode == ErrorLogMode::failing) {
        // No error headers, so the client sees a failure without a case of its own.
        response.status = 500;
        response.set_content("Error log unavailable", "text/plain");
        return;
    }
    response.status = 200;
    response.set_content("{}", "application/json");
}

} // namespace LocalCloud
