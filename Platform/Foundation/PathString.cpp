#include "Platform/Foundation/PathString.hpp"

namespace Platform {

namespace {

// Collapses runs of slashes and drops a trailing slash (keeping a lone "/").
std::string cleaned(std::string_view path)
{
    std::string result;
    result.reserve(path.size());
    for (char character : path) {
        if (character == '/' && !result.empty() && result.back() == '/')
            continue;
        result.push_back(character);
    }
    if (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

} // namespace

std::string deletingLastPathComponent(std::string_view path)
{
    std::string clean = cleaned(path);
    if (clean == "/")
        return clean;
    auto slash = clean.rfind('/');
    if (slash == std::string::npos)
        return "";
    if (slash == 0)
        return "/";
    clean.resize(slash);
    return clean;
}

std::string lastPathComponent(std::string_view path)
{
    std::string clean = cleaned(path);
    if (clean == "/")
        return clean;
    auto slash = clean.rfind('/');
    if (slash == std::string::npos)
        return clean;
    return clean.substr(slash + 1);
}

std::string appendingPathComponent(std::string_view path, std::string_view component)
{
    if (path.empty())
        return cleaned(component);
    std::string joined(path);
    joined.push_back('/');
    joined.append(component);
    return cleaned(joined);
}

std::vector<std::string> pathComponents(std::string_view path)
{
    std::vector<std::string> components;
    if (path.starts_with('/'))
        components.emplace_back("/");
    std::size_t start = 0;
    while (start <= path.size()) {
        auto slash = path.find('/', start);
        auto end = slash == std::string_view::npos ? path.size() : slash;
        if (end > start)
            components.emplace_back(path.substr(start, end - start));
        if (slash == std::string_view::npos)
            break;
        start = slash + 1;
    }
    return components;
}

std::string standardizingPath(std::string_view path)
{
    bool absolute = isAbsolutePath(path);
    std::vector<std::string> kept;
    for (auto& component : pathComponents(path)) {
        if (component == "/" || component == ".")
            continue;
        if (component == "..") {
            if (!kept.empty() && kept.back() != "..")
                kept.pop_back();
            else if (!absolute)
                kept.push_back(component);
            continue;
        }
        kept.push_back(std::move(component));
    }
    std::string result = absolute ? "/" : "";
    for (std::size_t index = 0; index < kept.size(); ++index) {
        if (index > 0)
            result.push_back('/');
        result += kept[index];
    }
    if (result.empty() && !path.empty() && !absolute)
        result.push_back('.');
    return result;
}

std::string pathExtension(std::string_view path)
{
    std::string name = lastPathComponent(path);
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return "";
    return name.substr(dot + 1);
}

std::string deletingPathExtension(std::string_view path)
{
    std::string extension = pathExtension(path);
    std::string clean = cleaned(path);
    if (extension.empty()) {
        // "a." has an empty extension but still loses its dot.
        std::string name = lastPathComponent(clean);
        if (name.size() > 1 && name.back() == '.')
            clean.pop_back();
        return clean;
    }
    clean.resize(clean.size() - extension.size() - 1);
    return clean;
}

} // namespace Platform
