#include "LocalCloud/LocalCloudServerImplementation.hpp"

#include <nlohmann/json.hpp>

#include <ctime>

namespace LocalCloud {

void respondWithEnvelope(httplib::Response& response, const std::string& dataJSON,
    const std::optional<std::string>& metaJSON)
{
    response.status = 200;
    std::string body = "{\"data\":" + dataJSON;
    if (metaJSON)
        body += ",\"meta\":" + *metaJSON;
    body += "}";
    response.set_content(body, jsonContentType);
}

void respondWithError(httplib::Response& response, int status, int errorCode, const std::string& message)
{
    response.status = status;
    response.set_header("X-Error-Code", std::to_string(errorCode));
    response.set_header("X-Error-Message", message);
    response.set_content(nlohmann::json { { "code", errorCode }, { "message", message } }.dump(), jsonContentType);
}

void respondWithServiceError(httplib::Response& response, const ServiceError& error)
{
    respondWithError(response, error.status, error.code, error.message);
}

std::string httpDate(std::chrono::system_clock::time_point time)
{
    static constexpr const char* weekdays[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
    static constexpr const char* months[] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct",
        "Nov", "Dec" };
    std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts {};
    ::gmtime_r(&seconds, &parts);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", weekdays[parts.tm_wday], parts.tm_mday,
        months[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::string RequestBody::readAll(const httplib::Request& request) const
{
    std::string body;
    bool tooLarge = false;
    if (!reader) {
        tooLarge = request.body.size() > maximumBytes;
        if (!tooLarge)
            body = request.body;
    } else {
        (*reader)([&](const char* data, size_t length) {
            tooLarge = body.size() + length > maximumBytes;
            if (!tooLarge)
                body.append(data, length);
            return !tooLarge;
        });
    }
    // A body too large to hold is no request anyone sent in earnest; it is answered as unreadable.
    if (tooLarge)
        body.clear();
    if (onRead)
        onRead(body);
    return body;
}

void RequestBody::discard(const httplib::Request& request) const
{
    if (!reader || request.get_header_value("Content-Length") == "0")
        return;
    (*reader)([](const char*, size_t) { return true; });
}

} // namespace LocalCloud
