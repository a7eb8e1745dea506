#pragma once

#include "Platform/Foundation/URL.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace Orvella {

// The user's session login items: the XDG autostart entries
// (`$XDG_CONFIG_HOME/autostart/*.desktop`), and what an entry written for the
// application is called.
struct LoginItemList {
    // The autostart folder; made (0700) when an entry is written into it.
    std::filesystem::path folder;
    // File name stem of the entries the application writes
    // ("<applicationIdentifier>.desktop", then "-2", "-3" … when taken).
    std::string applicationIdentifier;
    // The Name key of the entries the application writes; their Icon key is
    // the application identifier (the installed icon's name).
    std::string applicationName;
    // The running program as a file URL (`/proc/self/exe` resolved).
    Platform::URL applicationURL;

    // The session's list: `$XDG_CONFIG_HOME/autostart` (`~/.config` when
    // unset), the shared application identifier and the running program.
    [[nodiscard]] static LoginItemList session();
};

// One entry of the session login items: a desktop entry file of the autostart
// folder. Its URL is the program named by its Exec key (desktop-entry quoting
// undone), as a file URL, when that program is an absolute path that exists.
// Entries marked Hidden=true are switched off by the user and are not items.
// Autostart entries have no order: the list is sorted by file name.
//
// Threading: no state beyond the value; every call reads the folder afresh.
class LoginItem {
public:
    // The list's current entries, by file name; empty when the folder is missing.
    [[nodiscard]] static std::vector<LoginItem> items(const LoginItemList& list);
    // The first item whose URL equals `url`, or nothing.
    [[nodiscard]] static std::optional<LoginItem> find(const Platform::URL& url, const LoginItemList& list);
    // `find` with the list's application URL.
    [[nodiscard]] static std::optional<LoginItem> applicationItem(const LoginItemList& list);
    // Writes a new entry that starts `url`, atomically and without replacing
    // any file; nothing when it cannot be written.
    [[nodiscard]] static std::optional<LoginItem> insert(const Platform::URL& url, const LoginItemList& list);
    // Adds the application when `enabled` and no item names it yet; removes
    // the first item naming it when not. Items naming other programs, another
    // copy of the application or nothing that exists are never touched. A
    // failed insertion logs "❗️ couldn't create LoginItem for <URL>".
    static void setLaunchAtLogin(bool enabled, const LoginItemList& list);

    [[nodiscard]] const std::optional<Platform::URL>& url() const { return m_url; }
    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }
    // Deletes the entry's file; the result is not checked.
    void remove() const;

private:
    LoginItem(std::filesystem::path file, std::optional<Platform::URL> url)
        : m_file(std::move(file))
        , m_url(std::move(url))
    {
    }

    std::filesystem::path m_file;
    std::optional<Platform::URL> m_url;
};

// Desktop-entry quoting of an Exec value (the key's string escapes included):
// the program `path` as the Exec line's only argument.
[[nodiscard]] std::string desktopEntryExecValue(const std::string& path);
// The program of an Exec value: the string escapes and the quoting undone,
// the first argument; nothing for an empty or malformed value.
[[nodiscard]] std::optional<std::string> desktopEntryExecProgram(const std::string& value);

} // namespace Orvella
