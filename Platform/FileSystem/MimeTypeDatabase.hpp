#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"

#include <bitset>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Platform {

// MIME types of file names from shared-mime-info's glob data (the "globs2"
// files: "weight:type:pattern[:flags]" lines). Matching follows the
// shared-mime-info rules: literal names, then "*.suffix" patterns, then other
// glob patterns; among all matches the highest weight wins, then the longest
// pattern, then a case-sensitive pattern, then the earlier line. Patterns
// match case-insensitively unless flagged "cs". Only the name is looked at,
// never the content.
//
// A loaded database is immutable: any number of threads may look up at once.
class MimeTypeDatabase {
public:
    // What an unknown name is taken to be.
    static constexpr std::string_view fallbackMimeType = "text/plain";

    // Loads the given globs2 files; files that do not exist are skipped, and
    // a later file's patterns count after an earlier one's on equal terms.
    [[nodiscard]] static std::expected<MimeTypeDatabase, FileSystemError> load(const std::vector<std::string>& paths);
    // The user's and the system's data: mime/globs2 below $XDG_DATA_HOME and
    // each of $XDG_DATA_DIRS (default /usr/local/share:/usr/share). Loaded once,
    // on first use; logs one line when no glob data was found.
    static const MimeTypeDatabase& shared();

    // The MIME type for a file name, nothing when no pattern matches.
    std::optional<std::string> lookup(std::string_view fileName) const;
    // The MIME type for a file name, `fallbackMimeType` when none matches.
    std::string mimeType(std::string_view fileName) const;

    std::size_t patternCount() const { return m_patternCount; }

private:
    struct Match {
        int weight = 0;
        std::size_t patternLength = 0;
        bool caseSensitive = false;
        std::size_t order = 0;
        std::string mimeType;
    };
    struct Glob {
        std::string pattern;
        bool caseSensitive = false;
        Match match;
    };

    // Lets the tables be asked with views into a name, without a copy.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    using Table = std::unordered_map<std::string, Match, TextHash, std::equal_to<>>;

    void add(int weight, std::string mimeType, std::string pattern, bool caseSensitive);
    // The better of the two; `best` may be null.
    static const Match* better(const Match* best, const Match& candidate);
    // The best match for the name and its lower-case form, each followed by a terminator.
    const Match* bestMatch(std::string_view name, std::string_view folded) const;

    Table m_literals;                                                // whole name, exact case
    Table m_foldedLiterals;                                          // whole name, lower case
    Table m_suffixes;                                                // "*" + suffix, exact case
    Table m_foldedSuffixes;                                          // "*" + suffix, lower case
    std::vector<Glob> m_globs;                                       // anything else, with fnmatch
    // What a suffix in the tables can start with, and how long the longest
    // is: a scan asks for every file, and most places in a name start none.
    std::bitset<256> m_suffixStarts;
    std::size_t m_longestSuffix = 0;
    std::size_t m_patternCount = 0;
};

}  // namespace Platform
