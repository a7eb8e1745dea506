#include "LocalCloud/LocalCloudServerImplementation.hpp"

namespace LocalCloud {

void respondWithEnvelope(httplib::Response& response, const std::string& dataJSON)
{
    response.status = 200;
    response.set_content("{\"data\":" + dataJSON + "}", "application/json");
}

void respondWithError(httplib::Response& response, int status, int errorCode, const std::string& message)
{
    // The client reads failures from these two headers only; the body is informative.
    response.status = status;
    response.set_header("X-Error-Code", std::to_string(errorCode));
    response.set_header("X-Error-Message", message);
    response.set_content("", "text/plain");
}

std::string RequestBody::readAll(const httplib::Request& request) const
{
    if (!reader)
        return request.body;
    std::string body;
    (*reader)([&](const char* data, size_t length) {
        body.append(data, length);
        return true;
    });
    return body;
}

} // namespace LocalCloud
