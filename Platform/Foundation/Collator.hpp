#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace Platform {

// Orders texts as people of one locale expect, ignoring case but not accents
// ("apfel" and "Apfel" are equal, "Apfel" comes before "Äpfel", which comes
// before "Birne"). Backed by ICU's collation at secondary strength. Making a
// collator loads locale data, so make one per sort, not per comparison.
//
// A collator is move-only and confined to one thread at a time.
class Collator {
public:
    // The collator of an ICU or POSIX locale name ("de_DE", "de_DE.UTF-8");
    // "C", "POSIX", an empty name and a locale without collation data of its
    // own get the root collation, which orders by the Unicode defaults.
    explicit Collator(std::string_view localeName);
    // The collator of the process's collation locale (LC_COLLATE as
    // `setlocale` last set it; "C" until the program chooses one).
    [[nodiscard]] static Collator forCollationLocale();

    ~Collator();
    Collator(Collator&&) noexcept;
    Collator& operator=(Collator&&) noexcept;
    Collator(const Collator&) = delete;
    Collator& operator=(const Collator&) = delete;

    // Negative, zero or positive as `left` orders before, with or after
    // `right`. Invalid UTF-8 is compared with replacement characters in place
    // of the bad bytes.
    [[nodiscard]] int compare(std::string_view left, std::string_view right) const;

    // A byte string whose plain byte order is the order of `compare`: sorting
    // many texts by key is much cheaper than comparing them pairwise.
    [[nodiscard]] std::string sortKey(std::string_view text) const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace Platform
