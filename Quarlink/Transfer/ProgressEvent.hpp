#pragma once

// Quarlink/Transfer: what download streams carry before their result.

#include <concepts>
#include <expected>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace Quarlink {

// One event of a download stream: the fraction done so far, the finished
// transfer's result, or nothing to report. A stream sends `progress` events
// while the fraction is below 1.0, then exactly one `downloaded` event as its
// last value. No producer emits `waiting`; every operation carries it through.
// No equality and no coding: events only travel inside streams.
template<class Value>
class ProgressEvent {
public:
    struct Waiting { };

    [[nodiscard]] static ProgressEvent progress(double fraction) { return ProgressEvent(Storage(std::in_place_index<0>, fraction)); }
    [[nodiscard]] static ProgressEvent downloaded(Value value) { return ProgressEvent(Storage(std::in_place_index<1>, std::move(value))); }
    [[nodiscard]] static ProgressEvent waiting() { return ProgressEvent(Storage(std::in_place_index<2>)); }

    [[nodiscard]] bool isProgress() const { return m_storage.index() == 0; }
    [[nodiscard]] bool isDownloaded() const { return m_storage.index() == 1; }
    [[nodiscard]] bool isWaiting() const { return m_storage.index() == 2; }

    // The fraction of a `progress` event; absent for the others.
    [[nodiscard]] std::optional<double> progressValue() const
    {
        if (!isProgress())
            return std::nullopt;
        return std::get<0>(m_storage);
    }

    // The result of a `downloaded` event; absent for the others.
    [[nodiscard]] std::optional<Value> downloadedValue() const
    {
        if (!isDownloaded())
            return std::nullopt;
        return std::get<1>(m_storage);
    }

    // The event with `transform` applied to a `downloaded` result; `progress`
    // keeps its fraction and `waiting` stays, without calling `transform`.
    template<class Transform>
    [[nodiscard]] auto map(Transform&& transform) const -> ProgressEvent<std::invoke_result_t<Transform, const Value&>>
    {
        using Mapped = ProgressEvent<std::invoke_result_t<Transform, const Value&>>;
        if (isProgress())
            return Mapped::progress(std::get<0>(m_storage));
        if (isWaiting())
            return Mapped::waiting();
        return Mapped::downloaded(std::forward<Transform>(transform)(std::get<1>(m_storage)));
    }

    // As `map`, for a transform that can fail (returns std::expected<U, E>): its
    // failure is passed on unchanged and no event results.
    template<class Transform>
    [[nodiscard]] auto tryMap(Transform&& transform) const
        -> std::expected<ProgressEvent<typename std::invoke_result_t<Transform, const Value&>::value_type>,
            typename std::invoke_result_t<Transform, const Value&>::error_type>
    {
        using Mapped = ProgressEvent<typename std::invoke_result_t<Transform, const Value&>::value_type>;
        if (isProgress())
            return Mapped::progress(std::get<0>(m_storage));
        if (isWaiting())
            return Mapped::waiting();
        auto result = std::forward<Transform>(transform)(std::get<1>(m_storage));
        if (!result)
            return std::unexpected(std::move(result.error()));
        return Mapped::downloaded(std::move(*result));
    }

private:
    using Storage = std::variant<double, Value, Waiting>;

    explicit ProgressEvent(Storage storage)
        : m_storage(std::move(storage))
    {
    }

    Storage m_storage;
};

} // namespace Quarlink
