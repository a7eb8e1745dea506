#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"

#include <nlohmann/json.hpp>

#include <charconv>
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

namespace {

// The length a request says its body has, when it says one.
std::optional<std::size_t> declaredLength(const httplib::Request& request)
{
    if (!request.has_header("Content-Length"))
        return std::nullopt;
    const auto& text = request.get_header_value("Content-Length");
    std::size_t length = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
    if (error == std::errc::result_out_of_range)
        return SIZE_MAX;
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return length;
}

} // namespace

std::string RequestBody::readAll(const httplib::Request& request, std::size_t limit) const
{
    std::string body;
    bool tooLarge = false;
    if (!reader) {
        tooLarge = request.body.size() > limit;
        if (!tooLarge)
            body = request.body;
    } else if (auto length = declaredLength(request); length && *length > limit) {
        // Nothing of it is read: the connection ends with the answer.
        tooLarge = true;
    } else {
        (*reader)([&](const char* data, size_t length) {
            tooLarge = body.size() + length > limit;
            if (!tooLarge)
                body.append(data, length);
            return !tooLarge;
        });
    }
    // A body too large to hold is no request anyone sent in earnest; it is answered as unreadable.
    if (tooLarge) {
        body = std::string();
        GuardedServer::closeAfterAnswer();
    }
    if (onRead)
        onRead(body);
    return body;
}

std::string RequestBody::readPrefix(const httplib::Request& request, std::size_t limit) const
{
    std::string body;
    if (!reader) {
        body.assign(request.body, 0, std::min(limit, request.body.size()));
    } else {
        (*reader)([&](const char* data, size_t length) {
            body.append(data, std::min(length, limit - body.size()));
            return true;
        });
    }
    if (onRead)
        onRead(body);
    return body;
}

bool LocalCloudServer::Implementation::refuseBufferedBody(const httplib::Request& request, httplib::Response& response)
{
    // The service's own routes stream the bodies of these three methods.
    if (request.method == "POST" || request.method == "PUT" || request.method == "PATCH")
        return false;
    auto length = declaredLength(request);
    bool chunked = request.has_header("Transfer-Encoding");
    if (!chunked && (!length || *length <= RequestBody::maximumOpenBytes))
        return false;
    GuardedServer::closeAfterAnswer();
    respondWithError(response, 413, ServiceErrors::invalidParametersCode, "Request body too large");
    response.set_header("Connection", "close");
    return true;
}

void RequestBody::discard(const httplib::Request& request) const
{
    if (!reader || request.get_header_value("Content-Length") == "0")
        return;
    (*reader)([](const char*, size_t) { return true; });
}

} // namespace LocalCloud
