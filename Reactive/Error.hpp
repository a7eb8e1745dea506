#pragma once
// The polymorphic base of the errors that travel through reactive streams.

#include <string>

namespace Reactive {

// Base class of the errors that can be carried type-erased in `AnyError`.
// Deriving is optional: `AnyError` boxes any other error type on its own.
class Error {
public:
    virtual ~Error() = default;

    // A short, human-readable account of the failure, for logs.
    virtual std::string description() const = 0;
};

}
