#include "Platform/Foundation/Collator.hpp"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <clocale>
#include <vector>

namespace Platform {

struct Collator::State {
    UCollator* collator = nullptr;
    ~State()
    {
        if (collator)
            ::ucol_close(collator);
    }
};

namespace {

// "de_DE.UTF-8@euro" is "de_DE" to ICU; the C locale stands for no locale at all.
std::string icuLocaleName(std::string_view name)
{
    auto end = name.find_first_of(".@");
    std::string base(name.substr(0, end));
    if (base == "C" || base == "POSIX")
        return {};
    return base;
}

std::u16string utf16(std::string_view text)
{
    std::u16string result(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    ::u_strFromUTF8WithSub(reinterpret_cast<UChar*>(result.data()), static_cast<int32_t>(result.size()), &length,
        text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    result.resize(static_cast<std::size_t>(length));
    return result;
}

} // namespace

Collator::Collator(std::string_view localeName)
    : m_state(std::make_unique<State>())
{
    auto name = icuLocaleName(localeName);
    UErrorCode status = U_ZERO_ERROR;
    m_state->collator = ::ucol_open(name.c_str(), &status);
    if (U_FAILURE(status) || !m_state->collator) {
        status = U_ZERO_ERROR;
        m_state->collator = ::ucol_open("", &status);
    }
    if (m_state->collator)
        ::ucol_setStrength(m_state->collator, UCOL_SECONDARY);
}

Collator Collator::forCollationLocale()
{
    const char* current = std::setlocale(LC_COLLATE, nullptr);
    return Collator(current ? current : "C");
}

Collator::~Collator() = default;
Collator::Collator(Collator&&) noexcept = default;
Collator& Collator::operator=(Collator&&) noexcept = default;

int Collator::compare(std::string_view left, std::string_view right) const
{
    if (!m_state->collator)
        return left.compare(right);
    UErrorCode status = U_ZERO_ERROR;
    auto result = ::ucol_strcollUTF8(m_state->collator, left.data(), static_cast<int32_t>(left.size()), right.data(),
        static_cast<int32_t>(right.size()), &status);
    if (U_FAILURE(status)) {
        auto wideLeft = utf16(left);
        auto wideRight = utf16(right);
        result = ::ucol_strcoll(m_state->collator, reinterpret_cast<const UChar*>(wideLeft.data()),
            static_cast<int32_t>(wideLeft.size()), reinterpret_cast<const UChar*>(wideRight.data()),
            static_cast<int32_t>(wideRight.size()));
    }
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

std::string Collator::sortKey(std::string_view text) const
{
    if (!m_state->collator)
        return std::string(text);
    auto wide = utf16(text);
    auto* source = reinterpret_cast<const UChar*>(wide.data());
    auto length = static_cast<int32_t>(wide.size());
    std::string key(wide.size() * 4 + 16, '\0');
    auto needed = ::ucol_getSortKey(m_state->collator, source, length, reinterpret_cast<uint8_t*>(key.data()),
        static_cast<int32_t>(key.size()));
    if (needed > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(needed));
        needed = ::ucol_getSortKey(m_state->collator, source, length, reinterpret_cast<uint8_t*>(key.data()),
            static_cast<int32_t>(key.size()));
    }
    // The key ends with a NUL that takes no part in the order.
    key.resize(needed > 0 ? static_cast<std::size_t>(needed - 1) : 0);
    return key;
}

} // namespace Platform
