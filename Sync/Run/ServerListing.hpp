#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/Event.hpp"
#include "Sync/Model/File.hpp"

#include <optional>
#include <utility>
#include <vector>

namespace Sync {

// The server's listing as a step of the run asked for it: its files, or
// none when it could not be read, with the failure when the request failed
// (rather than ended without an answer). A plain value.
struct ServerListing {
    std::optional<std::vector<FileRef>> files;
    std::optional<Reactive::AnyError> failure;

    // From the first answer of a listing request (never an interruption).
    [[nodiscard]] static ServerListing of(Reactive::Event<std::vector<FileRef>, Reactive::AnyError>&& answer)
    {
        if (answer.isValue()) {
            return { std::move(answer).value(), std::nullopt };
        }
        if (answer.isFailed()) {
            return { std::nullopt, std::move(answer).error() };
        }
        return {};
    }
};

} // namespace Sync
