#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"

#include <nlohmann/json.hpp>

namespace LocalCloud {

// Lets client tests see exactly what went over the wire (raw query, header
// fields, body), which the request log keeps only in decoded form.
void LocalCloudServer::Implementation::installEchoRoutes()
{
    auto echo = [](const httplib::Request& request, httplib::Response& response, const RequestBody& body, const std::smatch&) {
        nlohmann::json headers = nlohmann::json::object();
        for (const auto& [name, value] : request.headers) {
            // httplib adds the peer's address as pseudo-headers; they were not sent.
            if (name.starts_with("REMOTE_") || name.starts_with("LOCAL_"))
                continue;
            headers[name] = value;
        }
        nlohmann::json description {
            { "method", request.method },
            { "target", request.target },
            { "headers", headers },
            { "body", body.readAll(request) },
        };
        respondWithEnvelope(response, description.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    };
    for (const char* method : { "GET", "POST", "PUT", "PATCH", "DELETE" })
        routes.push_back({ method, std::regex(R"(/v2\.0/debug/echo(/.*)?)"), echo });
}

} // namespace LocalCloud
