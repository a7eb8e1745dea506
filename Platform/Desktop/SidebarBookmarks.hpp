#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace Platform {

// The file manager's sidebar bookmarks: the GTK bookmarks file, one entry a
// line, a URI and optionally a blank and a name. Changes rewrite the file
// atomically and keep every other line byte for byte.
//
// Threading: no state of its own; each call reads the file afresh.
class SidebarBookmarks {
public:
    struct Entry {
        // The line as it stands in the file (without its line break).
        std::string line;
        std::string uri;
        std::optional<std::string> name;

        // The local path of a "file://" URI; nothing for other schemes.
        [[nodiscard]] std::optional<std::filesystem::path> path() const;
    };

    // `$XDG_CONFIG_HOME/gtk-3.0/bookmarks` (`~/.config` when unset).
    [[nodiscard]] static std::filesystem::path defaultFile();

    explicit SidebarBookmarks(std::filesystem::path file = defaultFile());

    // Every entry in file order; empty when there is no file.
    [[nodiscard]] std::vector<Entry> entries() const;
    // Appends an entry for `folder` after the last one, named `name` (line
    // breaks and control characters become blanks). False when the file
    // cannot be read or written.
    bool append(const std::filesystem::path& folder, const std::string& name);
    // Removes the first line equal to `entry.line`. False when there is none
    // or the file cannot be written.
    bool remove(const Entry& entry);

    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
};

} // namespace Platform
