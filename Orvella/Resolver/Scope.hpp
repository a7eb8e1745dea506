#pragma once

namespace Orvella {

// How long the container keeps what a binding's factory built.
enum class Scope {
    // Built at the first resolution of the key, then held by the container and
    // handed out again at every later resolution, until the container ends.
    single,
    // Built anew at every resolution; the container holds nothing.
    transient,
};

} // namespace Orvella
