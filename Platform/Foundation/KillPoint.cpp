#include "Platform/Foundation/KillPoint.hpp"

namespace Platform {

std::atomic<KillPointHandler> killPointHandler { nullptr };

} // namespace Platform
