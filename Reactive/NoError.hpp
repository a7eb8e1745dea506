#pragma once
// The error type of streams that never fail.

#include <string>

namespace Reactive {

// An uninhabited error type: no value of it can be made outside copying one
// that already exists, so a `SignalProducer<V, NoError>` can never fail.
struct NoError {
    NoError() = delete;
    NoError(const NoError&) = default;
    NoError& operator=(const NoError&) = default;

    bool operator==(const NoError&) const = default;
    std::string description() const { return "NoError"; }
};

}
