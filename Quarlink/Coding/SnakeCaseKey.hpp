#pragma once

#include <string>
#include <string_view>

namespace Quarlink {

// Splits a camel-case key into words and joins them lower-cased with "_":
// a word starts at each capital (Unicode upper or title case); a run of
// capitals before a lowercase letter is a word of its own except its last
// capital, which starts the next word ("aBCdef" gives "a_b_cdef"). The first
// character never starts a new word; an empty key stays empty.
[[nodiscard]] std::string convertToSnakeCase(std::string_view key);

// The wire name of a request field: "ID" and then "URL" written as "Id" and
// "Url" so they stay one word, then converted to snake case
// ("targetParentFolderID" gives "target_parent_folder_id", "fileURL" "file_url").
[[nodiscard]] std::string snakeCaseKey(std::string_view key);

} // namespace Quarlink
