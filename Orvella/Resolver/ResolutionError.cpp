#include "Orvella/Resolver/ResolutionError.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <utility>

namespace Orvella {

ResolutionError::ResolutionError(Code code, std::string key)
    : m_code(code)
    , m_key(std::move(key))
{
}

ResolutionError ResolutionError::unboundKey(std::type_index key)
{
    return ResolutionError(Code::unboundKey, nameOf(key));
}

ResolutionError ResolutionError::factoryFailed(std::type_index key, Reactive::AnyError cause)
{
    ResolutionError error(Code::factoryFailed, nameOf(key));
    error.m_cause = std::move(cause);
    return error;
}

ResolutionError ResolutionError::noInstance(std::type_index key)
{
    return ResolutionError(Code::noInstance, nameOf(key));
}

ResolutionError ResolutionError::cycle(std::vector<std::string> chain)
{
    ResolutionError error(Code::cycle, chain.empty() ? std::string() : chain.back());
    error.m_chain = std::move(chain);
    return error;
}

std::string ResolutionError::description() const
{
    switch (m_code) {
    case Code::unboundKey:
        return "no binding for " + m_key;
    case Code::factoryFailed:
        return "the factory of " + m_key + " failed: " + (m_cause ? m_cause->description() : std::string("?"));
    case Code::noInstance:
        return "the factory of " + m_key + " returned no instance";
    case Code::cycle: {
        std::string text = "cycle: ";
        for (std::size_t index = 0; index < m_chain.size(); ++index) {
            text += (index == 0 ? "" : " -> ") + m_chain[index];
        }
        return text;
    }
    }
    return toString(m_code);
}

std::string ResolutionError::nameOf(std::type_index key)
{
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(key.name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(key.name());
}

const char* toString(ResolutionError::Code code)
{
    switch (code) {
    case ResolutionError::Code::unboundKey:
        return "unboundKey";
    case ResolutionError::Code::factoryFailed:
        return "factoryFailed";
    case ResolutionError::Code::cycle:
        return "cycle";
    case ResolutionError::Code::noInstance:
        return "noInstance";
    }
    return "unknown";
}

} // namespace Orvella
