#pragma once

#include "Quarlink/Files/File.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstdint>
#include <functional>
#include <vector>

namespace Platform {
class Collator;
}

namespace Quarlink {

// The two orders in which lists of files are shown.
enum class FileOrder {
    // Names under a letter A to Z first, then all others; within each group
    // by name in the user's collation, ignoring case but not accents.
    byName,
    // Oldest modification date first.
    byDate,
};

// Whether `first` comes before `second`; equal names or dates give false, and
// there is no further tie-break. `byName` makes a collator of the process's
// collation locale for this one comparison: to order many files, use `sorted`.
[[nodiscard]] bool isOrderedBefore(FileOrder order, const File& first, const File& second);
// The same with a collator the caller made once.
[[nodiscard]] bool isOrderedBefore(FileOrder order, const File& first, const File& second, const Platform::Collator& collator);

// The files in `order`, with one collator of the process's collation locale for
// the whole sort. Ties keep no particular order.
[[nodiscard]] std::vector<File> sorted(std::vector<File> files, FileOrder order);

// Each value of `producer`, a sequence of files, becomes that sequence as a
// vector in `order`; completion, interruption and the failure pass through.
// Starts nothing itself.
template<class Files, class E>
[[nodiscard]] auto sort(const Reactive::SignalProducer<Files, E>& producer, FileOrder order)
{
    return producer.map([order](Files&& files) -> std::vector<File> {
        if constexpr (std::is_same_v<std::remove_cvref_t<Files>, std::vector<File>>)
            return sorted(std::move(files), order);
        else
            return sorted(std::vector<File>(files.begin(), files.end()), order);
    });
}

} // namespace Quarlink

template<>
struct std::hash<Quarlink::FileOrder> {
    std::size_t operator()(Quarlink::FileOrder order) const noexcept { return static_cast<std::size_t>(order); }
};
