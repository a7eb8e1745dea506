#pragma once

#include "Platform/Foundation/Unicode.hpp"

#include <string>
#include <string_view>

namespace Quarlink {

// The text checks the library uses, from the Foundation layer.
using Platform::isValidUTF8;
using Platform::lossyUTF8;

} // namespace Quarlink
