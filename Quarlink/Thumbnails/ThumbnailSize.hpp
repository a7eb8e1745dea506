#pragma once

// Quarlink/Thumbnails: preview images of stored files, rendered by the service.

#include "Platform/Foundation/URL.hpp"

#include <cstdint>
#include <functional>
#include <vector>

namespace Quarlink {

// The size of a preview: three fixed sizes and a free one. A plain value.
class ThumbnailSize {
public:
    enum class Case { custom, list, grid, detail };

    [[nodiscard]] static constexpr ThumbnailSize custom(std::int64_t width, std::int64_t height)
    {
        return ThumbnailSize(Case::custom, width, height);
    }
    // 60 × 60.
    static const ThumbnailSize list;
    // 125 × 125.
    static const ThumbnailSize grid;
    // 2000 × 2000.
    static const ThumbnailSize detail;

    [[nodiscard]] constexpr Case sizeCase() const { return m_case; }
    [[nodiscard]] constexpr std::int64_t width() const { return m_width; }
    [[nodiscard]] constexpr std::int64_t height() const { return m_height; }

    // "x" = width and "y" = height, in decimal, in this order.
    [[nodiscard]] std::vector<Platform::URL::QueryItem> queryItems() const;

    // Equal exactly when both ask the service for the same "x" and "y":
    // `custom(60, 60)` is `list`, and two different sizes are never equal.
    friend constexpr bool operator==(const ThumbnailSize& left, const ThumbnailSize& right)
    {
        return left.m_width == right.m_width && left.m_height == right.m_height;
    }

private:
    constexpr ThumbnailSize(Case sizeCase, std::int64_t width, std::int64_t height)
        : m_case(sizeCase)
        , m_width(width)
        , m_height(height)
    {
    }

    Case m_case;
    std::int64_t m_width;
    std::int64_t m_height;
};

inline constexpr ThumbnailSize ThumbnailSize::list { Case::list, 60, 60 };
inline constexpr ThumbnailSize ThumbnailSize::grid { Case::grid, 125, 125 };
inline constexpr ThumbnailSize ThumbnailSize::detail { Case::detail, 2000, 2000 };

} // namespace Quarlink

// Taken over the two numbers that equality compares.
template<>
struct std::hash<Quarlink::ThumbnailSize> {
    std::size_t operator()(const Quarlink::ThumbnailSize& size) const noexcept
    {
        // A prime factor keeps (w, h) and (h, w) apart.
        return std::hash<std::int64_t>()(size.width()) * 1'000'003u ^ std::hash<std::int64_t>()(size.height());
    }
};
