#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace LocalCloud {

namespace {

bool changesData(const std::string& method)
{
    return method != "GET" && method != "HEAD" && method != "OPTIONS";
}

std::string lowerCase(std::string text)
{
    std::ranges::transform(text, text.begin(), [](unsigned char character) { return std::tolower(character); });
    return text;
}

// RFC 5987 form, so that any file name survives the header.
std::string encodedFileName(const std::string& name)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char character : name) {
        if (std::isalnum(character) || std::string_view("!#$&+-.^_`|~").find(static_cast<char>(character)) != std::string_view::npos) {
            encoded += static_cast<char>(character);
        } else {
            encoded += '%';
            encoded += digits[character >> 4];
            encoded += digits[character & 0xF];
        }
    }
    return encoded;
}

} // namespace

bool LocalCloudServer::Implementation::refuseForeignHost(const httplib::Request& request, httplib::Response& response,
    const RequestBody& body)
{
    if (!changesData(request.method))
        return false;
    // A web page the user visits may send requests to the loopback port, but
    // only under a name of its own that its browser puts in "Host" (which also
    // defeats rebinding that name to 127.0.0.1); the service's own clients name it by its address.
    auto port = std::to_string(this->port);
    auto ownAuthority = [&](const std::string& authority) {
        for (const auto& name : { std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]"), options.host }) {
            if (authority == name + ":" + port || (this->port == 80 && authority == name))
                return true;
        }
        return false;
    };
    // A page that names the address itself still gives itself away: its
    // browser sends the page's origin along, which the service's own clients never do.
    auto origin = lowerCase(request.get_header_value("Origin"));
    bool ownOrigin = !request.has_header("Origin")
        || (origin.starts_with("http://") && ownAuthority(origin.substr(std::string_view("http://").size())));
    if (ownOrigin && ownAuthority(lowerCase(request.get_header_value("Host"))))
        return false;
    body.discard(request);
    respondWithError(response, 403, ServiceErrors::notAllowedCode, "Requests that change data must name the service's own address");
    return true;
}

void servePublicContentAsDownload(httplib::Response& response, const std::string& fileName)
{
    // The content of a link is anyone's upload: a browser saves it and never
    // runs it as a page of the service's origin.
    response.set_header("Content-Disposition", "attachment; filename*=UTF-8''" + encodedFileName(fileName));
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Content-Security-Policy", "default-src 'none'; sandbox");
}

} // namespace LocalCloud
