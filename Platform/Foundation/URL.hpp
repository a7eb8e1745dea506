#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// An absolute URL of the form scheme://[user[:password]@]host[:port]/path[?query][#fragment],
// as file, http and https URLs are written. A plain immutable value, freely
// shared between threads.
//
// The path, query and fragment are kept percent-encoded exactly as parsed or
// built; `path()` and `queryItems()` decode. Parsing is strict (curl's URL
// parser plus a check that the path, query and fragment hold only characters
// RFC 3986 allows and well-formed percent escapes), so text with spaces or
// raw non-ASCII characters is no URL. Dot segments are kept until
// `standardized()` removes them. Equality and hashing compare the full text.
class URL {
public:
    struct QueryItem {
        std::string name;
        // Absent for an item written without "=" ("?flag").
        std::optional<std::string> value;
        friend bool operator==(const QueryItem&, const QueryItem&) = default;
    };

    enum class IsDirectory { No, Yes };

    // Parses an absolute URL; no value for anything else (relative references,
    // unsupported syntax, illegal characters).
    [[nodiscard]] static std::optional<URL> create(std::string_view text);

    // Resolves a reference (absolute, or relative such as "../a?b=1") against
    // `base` as RFC 3986 does; dot segments are removed.
    [[nodiscard]] static std::optional<URL> create(std::string_view reference, const URL& base);

    // The file URL of an absolute local path, every byte that needs it
    // percent-encoded (non-UTF-8 names survive). A relative path is taken as
    // relative to "/". With IsDirectory::Yes the URL's path ends with "/".
    // A path holding a NUL byte cannot name a file: the NUL is dropped with
    // everything after it.
    [[nodiscard]] static URL fileURL(std::string_view path, IsDirectory isDirectory = IsDirectory::No);

    [[nodiscard]] const std::string& absoluteString() const { return m_string; }
    [[nodiscard]] const std::string& scheme() const { return m_scheme; }
    [[nodiscard]] bool isFileURL() const { return m_scheme == "file"; }
    [[nodiscard]] const std::optional<std::string>& host() const { return m_host; }
    [[nodiscard]] std::optional<int> port() const { return m_port; }
    [[nodiscard]] const std::optional<std::string>& user() const { return m_user; }
    [[nodiscard]] const std::optional<std::string>& password() const { return m_password; }

    // The path, percent-decoded: for a file URL the local path ("/home/a b").
    [[nodiscard]] std::string path() const;
    [[nodiscard]] const std::string& percentEncodedPath() const { return m_path; }
    // The query without "?", still percent-encoded.
    [[nodiscard]] const std::optional<std::string>& query() const { return m_query; }
    [[nodiscard]] std::vector<QueryItem> queryItems() const;
    [[nodiscard]] const std::optional<std::string>& fragment() const { return m_fragment; }

    // True when the path ends with "/".
    [[nodiscard]] bool hasDirectoryPath() const { return m_path.ends_with('/'); }
    // The last component of the path, decoded; "/" for the root.
    [[nodiscard]] std::string lastPathComponent() const;

    // Appends one or more components ("a", "Docs/a.txt"): the text is
    // percent-encoded, and each "/" in it separates components. Dot components
    // are kept (call standardized() to resolve them). Query and fragment are
    // kept.
    [[nodiscard]] URL appendingPathComponent(std::string_view component, IsDirectory isDirectory = IsDirectory::No) const;
    // The URL of the containing folder, with a trailing "/"; the root stays the root.
    [[nodiscard]] URL deletingLastPathComponent() const;
    // "." and ".." segments resolved (RFC 3986 remove_dot_segments); ".." never
    // climbs above the root.
    [[nodiscard]] URL standardized() const;

    // Replaces the query with the given items (names and values
    // percent-encoded, "+" included); an empty list removes the query.
    [[nodiscard]] URL settingQueryItems(const std::vector<QueryItem>& items) const;
    // Adds items after the existing query.
    [[nodiscard]] URL appendingQueryItems(const std::vector<QueryItem>& items) const;

    friend bool operator==(const URL& left, const URL& right) { return left.m_string == right.m_string; }
    friend std::strong_ordering operator<=>(const URL& left, const URL& right) { return left.m_string <=> right.m_string; }

private:
    URL() = default;
    void rebuild();

    std::string m_scheme;
    std::optional<std::string> m_user;
    std::optional<std::string> m_password;
    std::optional<std::string> m_host;
    std::optional<int> m_port;
    std::string m_path { "/" };
    std::optional<std::string> m_query;
    std::optional<std::string> m_fragment;
    std::string m_string;
};

// Percent-encodes every byte except the unreserved characters and those in `keep`.
[[nodiscard]] std::string percentEncoded(std::string_view text, std::string_view keep = "");
// Decodes %XX escapes; malformed escapes are kept as they are.
[[nodiscard]] std::string percentDecoded(std::string_view text);

} // namespace Platform

template<>
struct std::hash<Platform::URL> {
    std::size_t operator()(const Platform::URL& url) const noexcept
    {
        return std::hash<std::string>()(url.absoluteString());
    }
};
