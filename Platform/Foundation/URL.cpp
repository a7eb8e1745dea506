#include "Platform/Foundation/URL.hpp"

#include "Platform/Foundation/PathString.hpp"

#include <charconv>
#include <curl/curl.h>
#include <memory>

namespace Platform {

namespace {

constexpr std::string_view subDelimiters = "!$&'()*+,;=";
// What a path component may hold unencoded besides the unreserved characters.
constexpr std::string_view pathKeep = "!$&'()*+,;=:@";
// What a query name or value may hold unencoded: "&", "=" and "+" are
// encoded so that servers cannot misread them as separators or spaces.
constexpr std::string_view queryKeep = "!$'()*,;:@/?";

bool isUnreserved(unsigned char character)
{
    return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z')
        || (character >= '0' && character <= '9') || character == '-' || character == '.' || character == '_'
        || character == '~';
}

bool isHex(char character)
{
    return (character >= '0' && character <= '9') || (character >= 'a' && character <= 'f')
        || (character >= 'A' && character <= 'F');
}

int hexValue(char character)
{
    if (character >= '0' && character <= '9')
        return character - '0';
    if (character >= 'a' && character <= 'f')
        return character - 'a' + 10;
    return character - 'A' + 10;
}

// RFC 3986: pchar / "/" for paths, plus "?" for query and fragment.
bool isWellFormed(std::string_view text, bool allowQuestionMark)
{
    for (std::size_t index = 0; index < text.size(); ++index) {
        auto character = static_cast<unsigned char>(text[index]);
        if (character == '%') {
            if (index + 2 >= text.size() || !isHex(text[index + 1]) || !isHex(text[index + 2]))
                return false;
            index += 2;
            continue;
        }
        if (isUnreserved(character) || subDelimiters.find(static_cast<char>(character)) != std::string_view::npos
            || character == ':' || character == '@' || character == '/' || (allowQuestionMark && character == '?'))
            continue;
        return false;
    }
    return true;
}

struct CurlURLDeleter {
    void operator()(CURLU* handle) const { ::curl_url_cleanup(handle); }
};
using CurlURL = std::unique_ptr<CURLU, CurlURLDeleter>;

std::optional<std::string> part(CURLU* handle, CURLUPart which)
{
    char* value = nullptr;
    if (::curl_url_get(handle, which, &value, 0) != CURLUE_OK || !value)
        return std::nullopt;
    std::string result(value);
    ::curl_free(value);
    return result;
}

// RFC 3986 section 5.2.4, on an absolute percent-encoded path.
std::string removingDotSegments(std::string_view path)
{
    std::vector<std::string_view> output;
    bool directory = path.ends_with('/');
    std::size_t start = 1;
    while (start <= path.size()) {
        auto slash = path.find('/', start);
        auto end = slash == std::string_view::npos ? path.size() : slash;
        auto segment = path.substr(start, end - start);
        bool last = slash == std::string_view::npos;
        if (segment == ".") {
            directory = directory || last;
        } else if (segment == "..") {
            if (!output.empty())
                output.pop_back();
            directory = directory || last;
        } else if (!(last && segment.empty())) {
            output.push_back(segment);
        }
        if (last)
            break;
        start = slash + 1;
    }
    std::string result;
    for (auto segment : output) {
        result.push_back('/');
        result.append(segment);
    }
    if (result.empty() || directory)
        result.push_back('/');
    return result;
}

std::string encodedQuery(const std::vector<URL::QueryItem>& items)
{
    std::string query;
    for (const auto& item : items) {
        if (!query.empty())
            query.push_back('&');
        query += percentEncoded(item.name, queryKeep);
        if (item.value) {
            query.push_back('=');
            query += percentEncoded(*item.value, queryKeep);
        }
    }
    return query;
}

} // namespace

std::string percentEncoded(std::string_view text, std::string_view keep)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (char character : text) {
        auto byte = static_cast<unsigned char>(character);
        if (isUnreserved(byte) || keep.find(character) != std::string_view::npos) {
            result.push_back(character);
        } else {
            result.push_back('%');
            result.push_back(digits[byte >> 4]);
            result.push_back(digits[byte & 0x0f]);
        }
    }
    return result;
}

std::string percentDecoded(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '%' && index + 2 < text.size() && isHex(text[index + 1]) && isHex(text[index + 2])) {
            result.push_back(static_cast<char>(hexValue(text[index + 1]) * 16 + hexValue(text[index + 2])));
            index += 2;
        } else {
            result.push_back(text[index]);
        }
    }
    return result;
}

std::optional<URL> URL::create(std::string_view text)
{
    CurlURL handle(::curl_url());
    if (!handle || text.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string terminated(text);
    // PATH_AS_IS keeps "." and ".." until standardized() is asked for.
    if (::curl_url_set(handle.get(), CURLUPART_URL, terminated.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS)
        != CURLUE_OK)
        return std::nullopt;

    URL url;
    auto scheme = part(handle.get(), CURLUPART_SCHEME);
    auto path = part(handle.get(), CURLUPART_PATH);
    if (!scheme || !path)
        return std::nullopt;
    url.m_scheme = *scheme;
    url.m_path = path->empty() ? "/" : *path;
    url.m_user = part(handle.get(), CURLUPART_USER);
    url.m_password = part(handle.get(), CURLUPART_PASSWORD);
    url.m_host = part(handle.get(), CURLUPART_HOST);
    url.m_query = part(handle.get(), CURLUPART_QUERY);
    url.m_fragment = part(handle.get(), CURLUPART_FRAGMENT);
    if (auto port = part(handle.get(), CURLUPART_PORT)) {
        int number = 0;
        auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), number);
        if (error != std::errc() || end != port->data() + port->size())
            return std::nullopt;
        url.m_port = number;
    }
    if (!url.isFileURL() && !url.m_host)
        return std::nullopt;
    if (!isWellFormed(url.m_path, false) || (url.m_query && !isWellFormed(*url.m_query, true))
        || (url.m_fragment && !isWellFormed(*url.m_fragment, true)))
        return std::nullopt;
    url.rebuild();
    return url;
}

std::optional<URL> URL::create(std::string_view reference, const URL& base)
{
    CurlURL handle(::curl_url());
    if (!handle || reference.find('\0') != std::string_view::npos)
        return std::nullopt;
    if (::curl_url_set(handle.get(), CURLUPART_URL, base.m_string.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::nullopt;
    std::string terminated(reference);
    // With a URL already set, curl resolves the new text as a reference to it.
    if (::curl_url_set(handle.get(), CURLUPART_URL, terminated.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::nullopt;
    auto resolved = part(handle.get(), CURLUPART_URL);
    if (!resolved)
        return std::nullopt;
    auto url = create(*resolved);
    if (!url)
        return std::nullopt;
    return url->standardized();
}

URL URL::fileURL(std::string_view path, IsDirectory isDirectory)
{
    path = path.substr(0, path.find('\0'));
    URL url;
    url.m_scheme = "file";
    url.m_path = percentEncoded(path, "/!$&'()*+,;=:@");
    if (!url.m_path.starts_with('/'))
        url.m_path.insert(url.m_path.begin(), '/');
    if (isDirectory == IsDirectory::Yes && !url.m_path.ends_with('/'))
        url.m_path.push_back('/');
    url.rebuild();
    return url;
}

void URL::rebuild()
{
    // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) about
    // `"literal" + string` here.
    m_string.assign(m_scheme).append("://");
    if (m_user) {
        m_string.append(*m_user);
        if (m_password)
            m_string.append(1, ':').append(*m_password);
        m_string.append(1, '@');
    }
    if (m_host)
        m_string.append(*m_host);
    if (m_port)
        m_string.append(1, ':').append(std::to_string(*m_port));
    m_string.append(m_path);
    if (m_query)
        m_string.append(1, '?').append(*m_query);
    if (m_fragment)
        m_string.append(1, '#').append(*m_fragment);
}

std::string URL::path() const
{
    return percentDecoded(m_path);
}

std::vector<URL::QueryItem> URL::queryItems() const
{
    std::vector<QueryItem> items;
    if (!m_query || m_query->empty())
        return items;
    std::string_view query = *m_query;
    std::size_t start = 0;
    while (start <= query.size()) {
        auto ampersand = query.find('&', start);
        auto end = ampersand == std::string_view::npos ? query.size() : ampersand;
        auto item = query.substr(start, end - start);
        auto equals = item.find('=');
        if (equals == std::string_view::npos)
            items.push_back({ percentDecoded(item), std::nullopt });
        else
            items.push_back({ percentDecoded(item.substr(0, equals)), percentDecoded(item.substr(equals + 1)) });
        if (ampersand == std::string_view::npos)
            break;
        start = ampersand + 1;
    }
    return items;
}

std::string URL::lastPathComponent() const
{
    return Platform::lastPathComponent(path());
}

URL URL::appendingPathComponent(std::string_view component, IsDirectory isDirectory) const
{
    URL url = *this;
    while (component.starts_with('/'))
        component.remove_prefix(1);
    if (!url.m_path.ends_with('/'))
        url.m_path.push_back('/');
    url.m_path += percentEncoded(component, "/!$&'()*+,;=:@");
    if (isDirectory == IsDirectory::Yes && !url.m_path.ends_with('/'))
        url.m_path.push_back('/');
    url.rebuild();
    return url;
}

URL URL::deletingLastPathComponent() const
{
    URL url = *this;
    std::string_view path = url.m_path;
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    auto slash = path.rfind('/');
    url.m_path = slash == std::string_view::npos ? "/" : std::string(path.substr(0, slash + 1));
    url.rebuild();
    return url;
}

URL URL::standardized() const
{
    URL url = *this;
    url.m_path = removingDotSegments(m_path);
    url.rebuild();
    return url;
}

URL URL::settingQueryItems(const std::vector<QueryItem>& items) const
{
    URL url = *this;
    if (items.empty())
        url.m_query.reset();
    else
        url.m_query = encodedQuery(items);
    url.rebuild();
    return url;
}

URL URL::appendingQueryItems(const std::vector<QueryItem>& items) const
{
    if (items.empty())
        return *this;
    URL url = *this;
    std::string added = encodedQuery(items);
    url.m_query = url.m_query && !url.m_query->empty() ? *url.m_query + "&" + added : added;
    url.rebuild();
    return url;
}

} // namespace Platform
