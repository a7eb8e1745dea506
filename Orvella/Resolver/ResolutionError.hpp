#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/Error.hpp"

#include <optional>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <vector>

namespace Orvella {

// Why the container could not hand out an instance of a key. A factory that
// resolves its own dependencies passes their errors on unchanged, so the error
// that reaches the first caller names the key that actually failed, not the
// one that was asked for.
class [[nodiscard]] ResolutionError final : public Reactive::Error {
public:
    // Logged only, but keep the values stable: never renumber or reuse values.
    enum class Code {
        // No module bound the key.
        unboundKey = 1,
        // The key's factory failed; `cause()` holds the factory's own error.
        factoryFailed = 2,
        // The key was asked for again while its own factory ran; `chain()` holds the path.
        cycle = 3,
        // The key's factory reported success but returned no instance.
        noInstance = 4,
    };

    static ResolutionError unboundKey(std::type_index key);
    static ResolutionError factoryFailed(std::type_index key, Reactive::AnyError cause);
    template<class Key>
    static ResolutionError factoryFailed(Reactive::AnyError cause)
    {
        return factoryFailed(typeid(Key), std::move(cause));
    }
    static ResolutionError noInstance(std::type_index key);
    // `chain` runs from the first request of the repeated key to its repetition,
    // so its first and last names are the same.
    static ResolutionError cycle(std::vector<std::string> chain);

    Code code() const { return m_code; }
    // The readable name of the key that failed (for a cycle: the repeated key).
    const std::string& key() const { return m_key; }
    // The keys of a cycle, outermost first; empty for the other codes.
    const std::vector<std::string>& chain() const { return m_chain; }
    // The factory's own error; present only for `factoryFailed`.
    const std::optional<Reactive::AnyError>& cause() const { return m_cause; }

    // One line for logs, naming the key (and the chain or the cause).
    std::string description() const override;

    // The readable (demangled) name of a key type.
    static std::string nameOf(std::type_index key);

private:
    ResolutionError(Code code, std::string key);

    Code m_code;
    std::string m_key;
    std::vector<std::string> m_chain;
    std::optional<Reactive::AnyError> m_cause;
};

const char* toString(ResolutionError::Code code);

} // namespace Orvella
