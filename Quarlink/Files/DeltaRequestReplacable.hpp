#pragma once

#include "Quarlink/Files/File.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quarlink {

class APIClient;

// The listings whose result is a package of files, behind one interface that
// also names the request: `deltaIdentifier()` and `perform(request, client)`
// giving one package of files per value. Nothing in the system exchanges one
// such request for another or reads the identifier; it identifies a listing in
// logs and for callers that keep listings apart.
template<class R>
concept DeltaRequestReplacable = requires(const R& request, const std::shared_ptr<APIClient>& client) {
    { request.deltaIdentifier() } -> std::convertible_to<std::string>;
    { perform(request, client) } -> std::same_as<Reactive::SignalProducer<CloudMetaPackage<std::vector<File>>, Reactive::AnyError>>;
};

// The generic description of a value: "Name(field: value, ...)", fields in
// declaration order; texts in double quotes, lists in brackets, floating-point
// numbers always with a decimal point in their shortest round-trip form, the
// same under every locale. "Name()" without fields.
class ValueDescription {
public:
    explicit ValueDescription(std::string_view typeName);

    ValueDescription& field(std::string_view name, std::string_view text);
    ValueDescription& field(std::string_view name, const char* text) { return field(name, std::string_view(text)); }
    ValueDescription& field(std::string_view name, std::int64_t number);
    ValueDescription& field(std::string_view name, double number);
    ValueDescription& field(std::string_view name, const std::vector<std::int64_t>& numbers);

    [[nodiscard]] std::string text() const { return m_text + ")"; }

private:
    ValueDescription& append(std::string_view name, std::string_view value);

    std::string m_text;
    bool m_first { true };
};

// A double in its shortest round-trip form with a decimal point ("99.9", "100.0", "1e+20").
[[nodiscard]] std::string describedDouble(double number);

} // namespace Quarlink
