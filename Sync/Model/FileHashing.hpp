#pragma once

// Content hashes as the engine stores and compares them: SHA-1 as 40
// lower-case hexadecimal digits, from the one digest helper of the Foundation
// layer (see Platform/Foundation/Hashing.hpp for what each form does).

#include "Platform/Foundation/Hashing.hpp"

namespace Sync {

using Platform::hashed;
using Platform::QVStringByApplyingSha1ToData;

} // namespace Sync
