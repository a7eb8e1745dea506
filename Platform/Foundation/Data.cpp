#include "Platform/Foundation/Data.hpp"

#include "Platform/Foundation/RegularFile.hpp"

namespace Platform {

Data::Data(std::vector<std::uint8_t> bytes)
    : m_bytes(std::move(bytes))
{
}

Data::Data(const void* bytes, std::size_t size)
{
    auto begin = static_cast<const std::uint8_t*>(bytes);
    m_bytes.assign(begin, begin + size);
}

Data Data::fromString(std::string_view text)
{
    return Data(text.data(), text.size());
}

std::expected<Data, std::error_code> Data::contentsOfFile(const std::string& path)
{
    auto file = RegularFile::open(path);
    if (!file)
        return std::unexpected(file.error());

    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(file->size()));
    std::uint8_t buffer[64 * 1024];
    for (;;) {
        auto count = file->read(buffer);
        if (!count)
            return std::unexpected(count.error());
        if (*count == 0)
            return Data(std::move(bytes));
        bytes.insert(bytes.end(), buffer, buffer + *count);
    }
}

std::string_view Data::stringView() const
{
    return std::string_view(reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size());
}

void Data::append(std::span<const std::uint8_t> bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void Data::append(std::string_view text)
{
    auto begin = reinterpret_cast<const std::uint8_t*>(text.data());
    m_bytes.insert(m_bytes.end(), begin, begin + text.size());
}

} // namespace Platform
