#include "Platform/Desktop/SidebarBookmarks.hpp"

#include "Platform/Desktop/DesktopNotifications.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"

#include <cstdlib>

namespace Platform {

namespace {

// The lines of `content`, each without its "\n"; a final line without a
// break is kept as it is, and `endsWithBreak` says whether the file ended so.
std::vector<std::string> splitLines(const std::string& content, bool& endsWithBreak)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        auto end = content.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start));
            endsWithBreak = false;
            return lines;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    endsWithBreak = true;
    return lines;
}

std::string joined(const std::vector<std::string>& lines, bool endsWithBreak)
{
    std::string content;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        content += lines[index];
        if (index + 1 < lines.size() || endsWithBreak)
            content += '\n';
    }
    return content;
}

bool write(const std::filesystem::path& file, const std::string& content)
{
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    auto written = writeFileAtomically(file, content, 0644);
    if (!written)
        Log::failure("Die Lesezeichen " + file.string() + " können nicht geschrieben werden: " + written.error().message());
    return written.has_value();
}

} // namespace

std::optional<std::filesystem::path> SidebarBookmarks::Entry::path() const
{
    auto url = URL::create(uri);
    if (!url || !url->isFileURL())
        return std::nullopt;
    auto path = url->path();
    if (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    return std::filesystem::path(path);
}

std::filesystem::path SidebarBookmarks::defaultFile()
{
    return baseDirectory(BaseDirectory::config) / "gtk-3.0" / "bookmarks";
}

SidebarBookmarks::SidebarBookmarks(std::filesystem::path file)
    : m_file(std::move(file))
{
}

std::vector<SidebarBookmarks::Entry> SidebarBookmarks::entries() const
{
    std::vector<Entry> result;
    auto content = readWholeFile(m_file);
    if (!content || !*content)
        return result;
    bool endsWithBreak = true;
    for (auto& line : splitLines(**content, endsWithBreak)) {
        if (line.empty())
            continue;
        Entry entry { line, line, std::nullopt };
        if (auto blank = line.find(' '); blank != std::string::npos) {
            entry.uri = line.substr(0, blank);
            entry.name = line.substr(blank + 1);
        }
        result.push_back(std::move(entry));
    }
    return result;
}

bool SidebarBookmarks::append(const std::filesystem::path& folder, const std::string& name)
{
    auto content = readWholeFile(m_file);
    if (!content)
        return false;
    std::string text = content->value_or("");
    if (!text.empty() && !text.ends_with('\n'))
        text += '\n';
    auto line = URL::fileURL(folder.string()).absoluteString();
    auto label = DesktopNotifications::plainLine(name);
    if (!label.empty())
        line += " " + label;
    text += line + "\n";
    return write(m_file, text);
}

bool SidebarBookmarks::remove(const Entry& entry)
{
    auto content = readWholeFile(m_file);
    if (!content || !*content)
        return false;
    bool endsWithBreak = true;
    auto lines = splitLines(**content, endsWithBreak);
    for (auto line = lines.begin(); line != lines.end(); ++line) {
        if (*line == entry.line) {
            lines.erase(line);
            return write(m_file, joined(lines, endsWithBreak));
        }
    }
    return false;
}

} // namespace Platform
