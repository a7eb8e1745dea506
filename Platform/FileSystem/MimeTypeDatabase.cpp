#include "Platform/FileSystem/MimeTypeDatabase.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/UserFolders.hpp"

#include <cerrno>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fnmatch.h>
#include <fstream>
#include <tuple>

namespace Platform {

namespace {

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char& character : result) {
        if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    return result;
}

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> result;
    std::size_t start = 0;
    while (true) {
        auto const colon = line.find(':', start);
        result.push_back(line.substr(start, colon - start));
        if (colon == std::string_view::npos) {
            return result;
        }
        start = colon + 1;
    }
}

bool hasWildcard(std::string_view text)
{
    return text.find_first_of("*?[") != std::string_view::npos;
}

void splitList(const char* value, const char* fallback, std::vector<std::string>& into)
{
    std::string_view list = (value != nullptr && value[0] != '\0') ? value : fallback;
    std::size_t start = 0;
    while (start <= list.size()) {
        auto end = list.find(':', start);
        if (end == std::string_view::npos) {
            end = list.size();
        }
        std::string_view const directory = list.substr(start, end - start);
        if (!directory.empty() && directory.front() == '/') {
            into.emplace_back(directory);
        }
        start = end + 1;
    }
}

}  // namespace

std::expected<MimeTypeDatabase, FileSystemError> MimeTypeDatabase::load(const std::vector<std::string>& paths)
{
    MimeTypeDatabase database;
    for (auto const& path : paths) {
        std::ifstream file(path);
        if (!file) {
            continue;
        }
        std::string line;
        while (std::getline(file, line)) {
            if (line.empty() || line.front() == '#') {
                continue;
            }
            auto const parts = fields(line);
            int weight = 0;
            if (parts.size() < 3 ||
                std::from_chars(parts[0].data(), parts[0].data() + parts[0].size(), weight).ec != std::errc{}) {
                continue;
            }
            // "__NOGLOBS__" only clears a less important directory's patterns.
            if (parts[2].empty() || parts[1] == "__NOGLOBS__") {
                continue;
            }
            bool const caseSensitive = parts.size() > 3 && parts[3].find("cs") != std::string_view::npos;
            database.add(weight, std::string(parts[1]), std::string(parts[2]), caseSensitive);
        }
        if (file.bad()) {
            return std::unexpected(FileSystemError::fromErrno(EIO, path));
        }
    }
    return database;
}

const MimeTypeDatabase& MimeTypeDatabase::shared()
{
    static MimeTypeDatabase const database = [] {
        std::vector<std::string> directories;
        if (auto dataHome = baseDirectory(BaseDirectory::data); !dataHome.empty()) {
            directories.push_back(dataHome.string());
        }
        splitList(std::getenv("XDG_DATA_DIRS"), "/usr/local/share:/usr/share", directories);
        std::vector<std::string> paths;
        for (auto const& directory : directories) {
            paths.push_back(directory + "/mime/globs2");
        }
        auto loaded = load(paths);
        if (!loaded || loaded->patternCount() == 0) {
            Log::line("❗️ No MIME glob data found; every file is taken as text/plain");
            return MimeTypeDatabase{};
        }
        return std::move(*loaded);
    }();
    return database;
}

void MimeTypeDatabase::add(int weight, std::string mimeType, std::string pattern, bool caseSensitive)
{
    Match const match{weight, pattern.size(), caseSensitive, m_patternCount++, std::move(mimeType)};
    auto insert = [&match](Table& map, std::string key) {
        auto [position, inserted] = map.try_emplace(std::move(key), match);
        if (!inserted && better(&position->second, match) == &match) {
            position->second = match;
        }
    };
    bool const isSuffix = pattern.size() > 1 && pattern.front() == '*' && !hasWildcard(std::string_view(pattern).substr(1));
    if (!hasWildcard(pattern)) {
        caseSensitive ? insert(m_literals, pattern) : insert(m_foldedLiterals, lowered(pattern));
    } else if (isSuffix) {
        auto suffix = caseSensitive ? pattern.substr(1) : lowered(pattern.substr(1));
        // A folded suffix is looked for in the folded name, whose first
        // character is the lowered one of the name's.
        m_suffixStarts.set(static_cast<unsigned char>(suffix.front()));
        m_longestSuffix = std::max(m_longestSuffix, suffix.size());
        caseSensitive ? insert(m_suffixes, std::move(suffix)) : insert(m_foldedSuffixes, std::move(suffix));
    } else {
        m_globs.push_back(Glob{caseSensitive ? pattern : lowered(pattern), caseSensitive, match});
    }
}

const MimeTypeDatabase::Match* MimeTypeDatabase::better(const Match* best, const Match& candidate)
{
    auto rank = [](const Match& match) {
        // Lower order (an earlier line) ranks higher, hence the negation.
        return std::tuple(match.weight, match.patternLength, match.caseSensitive, -static_cast<long long>(match.order));
    };
    return !best || rank(candidate) > rank(*best) ? &candidate : best;
}

const MimeTypeDatabase::Match* MimeTypeDatabase::bestMatch(std::string_view name, std::string_view folded) const
{
    const Match* best = nullptr;
    auto find = [&best](const Table& map, std::string_view key) {
        if (auto position = map.find(key); position != map.end()) {
            best = better(best, position->second);
        }
    };
    // A literal name is the strongest evidence there is.
    find(m_literals, name);
    find(m_foldedLiterals, folded);
    if (best) {
        return best;
    }
    auto const first = name.size() > m_longestSuffix ? name.size() - m_longestSuffix : 0;
    for (std::size_t start = first; start < name.size(); ++start) {
        if (m_suffixStarts.test(static_cast<unsigned char>(name[start]))) {
            find(m_suffixes, name.substr(start));
        }
        if (m_suffixStarts.test(static_cast<unsigned char>(folded[start]))) {
            find(m_foldedSuffixes, folded.substr(start));
        }
    }
    for (auto const& glob : m_globs) {
        // Both texts are followed by a terminator.
        auto const subject = glob.caseSensitive ? name : folded;
        if (::fnmatch(glob.pattern.c_str(), subject.data(), 0) == 0) {
            best = better(best, glob.match);
        }
    }
    return best;
}

std::optional<std::string> MimeTypeDatabase::lookup(std::string_view fileName) const
{
    if (fileName.empty()) {
        return std::nullopt;
    }
    // A scan asks for every file: a name up to the longest a file system
    // allows is looked at on the stack, with no copy on the heap.
    constexpr std::size_t longestName = 255;
    const Match* best = nullptr;
    if (fileName.size() <= longestName) {
        char name[longestName + 1];
        char folded[longestName + 1];
        for (std::size_t index = 0; index < fileName.size(); ++index) {
            char const character = fileName[index];
            name[index] = character;
            folded[index] = character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
        }
        name[fileName.size()] = '\0';
        folded[fileName.size()] = '\0';
        best = bestMatch(std::string_view(name, fileName.size()), std::string_view(folded, fileName.size()));
    } else {
        std::string const name(fileName);
        std::string const folded = lowered(fileName);
        best = bestMatch(name, folded);
    }
    if (!best) {
        return std::nullopt;
    }
    return best->mimeType;
}

std::string MimeTypeDatabase::mimeType(std::string_view fileName) const
{
    auto found = lookup(fileName);
    return found ? std::move(*found) : std::string(fallbackMimeType);
}

}  // namespace Platform
