#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace Platform {

// The application's table of user-visible texts, looked up by key. Libraries
// ask for a text by its key and never carry the wording themselves; until the
// application installs its table, and for every key the table lacks, a lookup
// answers the key itself. Thread-safe: a lookup sees either the table before
// an installation or the one after it, never a mixture.

using StringTable = std::unordered_map<std::string, std::string>;

// Replaces the installed table (the application does this once at start-up).
void installStringTable(StringTable table);

// The text for `key` in the installed table, or `key` itself.
[[nodiscard]] std::string localizedString(std::string_view key);

} // namespace Platform
