#pragma once

#include <cstdint>
#include <string>

namespace Orvella {

// A byte count as the German desktop writes a memory size: 1024-based units
// "Byte", "KB", "MB", "GB", "TB"; the largest unit of which there is at least
// one; no fraction digits up to KB, one for MB, two for GB and TB, rounded
// half away from zero and with trailing zeros dropped; decimal comma and "."
// between thousands; zero is "Null KB". A count that rounds up to 1024 of a
// unit is written in the next unit ("1 MB", not "1.024 KB").
// Independent of the process's locale. Examples: 1023 → "1.023 Byte",
// 1536 → "2 KB", 1572864 → "1,5 MB", 1073741824 → "1 GB".
[[nodiscard]] std::string formatByteCount(std::int64_t bytes);

} // namespace Orvella
