#include "Sync/Model/HashText.hpp"

#include <cstring>
#include <utility>

namespace Sync {

HashText::HashText(std::string_view text)
{
    if (text.size() <= inlineCapacity) {
        // An empty view may have no bytes at all behind it, which memcpy must not be given.
        if (!text.empty())
            std::memcpy(m_bytes, text.data(), text.size());
        m_length = static_cast<std::uint8_t>(text.size());
        return;
    }
    Allocation longer { new char[text.size()], text.size() };
    std::memcpy(longer.data, text.data(), text.size());
    std::memcpy(m_bytes, &longer, sizeof longer);
    m_length = allocated;
}

HashText::HashText(HashText&& other) noexcept
{
    std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
    m_length = std::exchange(other.m_length, 0);
}

HashText& HashText::operator=(const HashText& other)
{
    if (this != &other)
        *this = HashText(other);
    return *this;
}

HashText& HashText::operator=(HashText&& other) noexcept
{
    if (this != &other) {
        release();
        std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
        m_length = std::exchange(other.m_length, 0);
    }
    return *this;
}

HashText::~HashText()
{
    release();
}

HashText::Allocation HashText::allocation() const noexcept
{
    Allocation longer {};
    std::memcpy(&longer, m_bytes, sizeof longer);
    return longer;
}

void HashText::release() noexcept
{
    if (m_length == allocated)
        delete[] allocation().data;
    m_length = 0;
}

std::string_view HashText::view() const noexcept
{
    if (m_length == allocated) {
        auto longer = allocation();
        return { longer.data, longer.size };
    }
    return { m_bytes, m_length };
}

} // namespace Sync
