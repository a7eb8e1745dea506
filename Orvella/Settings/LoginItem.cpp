#include "Orvella/Settings/LoginItem.hpp"

#include "Shared/SharedConstants.hpp"
#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace Orvella {

namespace {

// Characters that the desktop-entry specification reserves in an Exec argument.
constexpr std::string_view reservedCharacters = " \t\n\"'\\><~|&;$*?#()`";


// The string escapes of a desktop-entry value: "\s", "\n", "\t", "\r", "\\".
std::string unescapeValue(std::string_view value)
{
    std::string result;
    for (std::size_t index = 0; index < value.size(); ++index) {
        char character = value[index];
        if (character != '\\' || index + 1 == value.size()) {
            result += character;
            continue;
        }
        char next = value[++index];
        switch (next) {
        case 's': result += ' '; break;
        case 'n': result += '\n'; break;
        case 't': result += '\t'; break;
        case 'r': result += '\r'; break;
        case '\\': result += '\\'; break;
        default: result += '\\'; result += next; break;
        }
    }
    return result;
}

std::string escapeValue(std::string_view value)
{
    std::string result;
    for (char character : value) {
        switch (character) {
        case '\\': result += "\\\\"; break;
        case '\n': result += "\\n"; break;
        case '\t': result += "\\t"; break;
        case '\r': result += "\\r"; break;
        default: result += character; break;
        }
    }
    return result;
}

struct EntryKeys {
    std::optional<std::string> exec;
    bool hidden = false;
};

// The Exec and Hidden keys of the "[Desktop Entry]" group; other groups and
// localised keys play no part.
std::optional<EntryKeys> readEntry(const std::filesystem::path& file)
{
    auto content = Platform::readWholeFile(file);
    if (!content || !*content)
        return std::nullopt;
    EntryKeys keys;
    bool inEntryGroup = false;
    std::istringstream lines(**content);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with('[')) {
            inEntryGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntryGroup || line.starts_with('#'))
            continue;
        auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        auto key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        auto value = line.substr(equals + 1);
        while (!value.empty() && value.front() == ' ')
            value.erase(value.begin());
        if (key == "Exec")
            keys.exec = value;
        else if (key == "Hidden")
            keys.hidden = value == "true";
    }
    return keys;
}

std::optional<Platform::URL> resolvedProgram(const std::optional<std::string>& exec)
{
    if (!exec)
        return std::nullopt;
    auto program = desktopEntryExecProgram(*exec);
    if (!program || !program->starts_with('/'))
        return std::nullopt;
    std::error_code error;
    if (!std::filesystem::exists(*program, error))
        return std::nullopt;
    return Platform::URL::fileURL(*program);
}

std::string entryText(const std::string& name, const std::string& icon, const std::string& program)
{
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=" + escapeValue(name) + "\n";
    text += "Icon=" + escapeValue(icon) + "\n";
    text += "Exec=" + desktopEntryExecValue(program) + "\n";
    text += "Terminal=false\n";
    text += "X-GNOME-Autostart-enabled=true\n";
    return text;
}

} // namespace

LoginItemList LoginItemList::session()
{
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return LoginItemList {
        // Without a home there is no autostart folder (never one in a shared folder).
        .folder = Platform::baseDirectory(Platform::BaseDirectory::config).empty()
            ? std::filesystem::path()
            : Platform::baseDirectory(Platform::BaseDirectory::config) / "autostart",
        .applicationIdentifier = SharedConstants::applicationIdentifier(),
        .applicationName = SharedConstants::pingIdentifierName(),
        .applicationURL = Platform::URL::fileURL(error ? std::string("/proc/self/exe") : program.string()),
    };
}

std::string desktopEntryExecValue(const std::string& path)
{
    std::string argument;
    if (path.find_first_of(reservedCharacters) == std::string::npos) {
        argument = path;
    } else {
        argument = "\"";
        for (char character : path) {
            if (character == '"' || character == '`' || character == '$' || character == '\\')
                argument += '\\';
            argument += character;
        }
        argument += '"';
    }
    std::string withFieldCodes;
    for (char character : argument) {
        withFieldCodes += character;
        if (character == '%')
            withFieldCodes += '%';
    }
    return escapeValue(withFieldCodes);
}

std::optional<std::string> desktopEntryExecProgram(const std::string& value)
{
    auto text = unescapeValue(value);
    std::size_t index = 0;
    while (index < text.size() && text[index] == ' ')
        ++index;
    if (index == text.size())
        return std::nullopt;
    std::string program;
    if (text[index] == '"') {
        ++index;
        bool closed = false;
        while (index < text.size()) {
            char character = text[index++];
            if (character == '"') {
                closed = true;
                break;
            }
            if (character == '\\' && index < text.size()) {
                char next = text[index];
                if (next == '"' || next == '`' || next == '$' || next == '\\') {
                    program += next;
                    ++index;
                    continue;
                }
            }
            program += character;
        }
        if (!closed)
            return std::nullopt;
    } else {
        while (index < text.size() && text[index] != ' ') {
            char character = text[index++];
            // A reserved character outside quotes makes the line malformed.
            if (character != '%' && reservedCharacters.find(character) != std::string_view::npos)
                return std::nullopt;
            program += character;
        }
    }
    std::string unescaped;
    for (std::size_t position = 0; position < program.size(); ++position) {
        unescaped += program[position];
        if (program[position] == '%' && position + 1 < program.size() && program[position + 1] == '%')
            ++position;
    }
    if (unescaped.empty())
        return std::nullopt;
    return unescaped;
}

std::vector<LoginItem> LoginItem::items(const LoginItemList& list)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (auto iterator = std::filesystem::directory_iterator(list.folder, error);
         !error && iterator != std::filesystem::directory_iterator(); iterator.increment(error)) {
        const auto& path = iterator->path();
        if (path.extension() == ".desktop" && iterator->is_regular_file(error))
            files.push_back(path);
    }
    std::ranges::sort(files);
    std::vector<LoginItem> result;
    for (auto& file : files) {
        auto keys = readEntry(file);
        if (!keys || keys->hidden)
            continue;
        result.push_back(LoginItem(file, resolvedProgram(keys->exec)));
    }
    return result;
}

std::optional<LoginItem> LoginItem::find(const Platform::URL& url, const LoginItemList& list)
{
    for (auto& item : items(list)) {
        if (item.url() && item.url()->absoluteString() == url.absoluteString())
            return item;
    }
    return std::nullopt;
}

std::optional<LoginItem> LoginItem::applicationItem(const LoginItemList& list)
{
    return find(list.applicationURL, list);
}

std::optional<LoginItem> LoginItem::insert(const Platform::URL& url, const LoginItemList& list)
{
    if (!url.isFileURL() || list.folder.empty())
        return std::nullopt;
    std::error_code error;
    std::filesystem::create_directories(list.folder, error);
    if (error)
        return std::nullopt;
    std::filesystem::permissions(list.folder, std::filesystem::perms::owner_all, error);
    // Written whole under a name no scan counts, then moved to the first free
    // entry name without replacing anything there.
    auto temporary = list.folder / ("." + list.applicationIdentifier + ".desktop.partial");
    if (!Platform::writeFileAtomically(temporary, entryText(list.applicationName, list.applicationIdentifier, url.path()), 0644))
        return std::nullopt;
    for (int number = 1; number < 1000; ++number) {
        auto name = list.applicationIdentifier + (number == 1 ? "" : "-" + std::to_string(number)) + ".desktop";
        auto destination = list.folder / name;
        auto moved = Platform::moveItem(temporary.string(), destination.string());
        if (moved)
            return LoginItem(destination, resolvedProgram(readEntry(destination).value_or(EntryKeys {}).exec));
        if (moved.error().code != Platform::FileSystemErrorCode::alreadyExists)
            break;
    }
    std::filesystem::remove(temporary, error);
    return std::nullopt;
}

void LoginItem::setLaunchAtLogin(bool enabled, const LoginItemList& list)
{
    auto existing = applicationItem(list);
    if (enabled) {
        if (existing)
            return;
        if (!insert(list.applicationURL, list))
            Platform::Log::line("❗️ couldn't create LoginItem for " + list.applicationURL.absoluteString());
        return;
    }
    if (existing)
        existing->remove();
}

void LoginItem::remove() const
{
    std::error_code error;
    std::filesystem::remove(m_file, error);
}

} // namespace Orvella
