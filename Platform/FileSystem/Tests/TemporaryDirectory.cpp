#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

namespace Platform::Testing {

namespace {

std::string defaultParent()
{
    char const* variable = std::getenv("TMPDIR");
    return variable != nullptr && variable[0] == '/' ? variable : "/tmp";
}

}  // namespace

TemporaryDirectory::TemporaryDirectory() : TemporaryDirectory(defaultParent()) {}

TemporaryDirectory::TemporaryDirectory(const std::string& parent)
{
    std::string pattern = parent + "/orvella-fs-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed below " + parent);
    }
    m_path = std::filesystem::canonical(pattern).string();
}

TemporaryDirectory::~TemporaryDirectory()
{
    std::error_code error;
    // Tests may leave unreadable directories behind.
    for (auto const& entry : std::filesystem::recursive_directory_iterator(
             m_path, std::filesystem::directory_options::skip_permission_denied, error)) {
        if (entry.is_directory(error) && !entry.is_symlink(error)) {
            ::chmod(entry.path().c_str(), 0700);
        }
    }
    std::filesystem::remove_all(m_path, error);
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool exists(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    auto const deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds{5});
    }
    return true;
}

}  // namespace Platform::Testing
