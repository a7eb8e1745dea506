#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Sync {

// A file's content hash text as a record keeps it: the usual forms (40 hex
// digits, an empty text, "#MissingFileHash#") inside the object, anything
// longer than 40 bytes (a server may send any text) in its own allocation.
// The text is kept byte for byte, whatever it holds (NUL bytes included).
// A plain value; byte alignment, so that a record packs small fields beside it.
class HashText {
public:
    static constexpr std::size_t inlineCapacity = 40;

    HashText() noexcept = default;
    // Implicit: wherever a text is given, a hash text may stand.
    HashText(std::string_view text);
    HashText(const HashText& other)
        : HashText(other.view())
    {
    }
    HashText(HashText&& other) noexcept;
    HashText& operator=(const HashText& other);
    HashText& operator=(HashText&& other) noexcept;
    ~HashText();

    [[nodiscard]] std::string_view view() const noexcept;
    operator std::string_view() const noexcept { return view(); }
    [[nodiscard]] bool empty() const noexcept { return m_length == 0; }

    // Byte-wise, as the texts compare.
    friend bool operator==(const HashText& left, const HashText& right) noexcept
    {
        return left.view() == right.view();
    }

private:
    // A longer text lives in its allocation; `m_bytes` then begins with its
    // address and its length.
    static constexpr std::uint8_t allocated = 0xff;
    struct Allocation {
        char* data;
        std::size_t size;
    };
    [[nodiscard]] Allocation allocation() const noexcept;
    void release() noexcept;

    char m_bytes[inlineCapacity] {};
    std::uint8_t m_length { 0 };
};

static_assert(alignof(HashText) == 1 && sizeof(HashText) == HashText::inlineCapacity + 1);
static_assert(sizeof(void*) + sizeof(std::size_t) <= HashText::inlineCapacity);

} // namespace Sync
