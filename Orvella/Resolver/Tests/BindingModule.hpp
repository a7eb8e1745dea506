#pragma once
// A module made of a function, so each test states its bindings in place.

#include "Orvella/Resolver/Binder.hpp"
#include "Orvella/Resolver/Module.hpp"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace Orvella::Testing {

class BindingModule final : public Module {
public:
    explicit BindingModule(std::function<void(Binder&)> configure) : m_configure(std::move(configure)) {}
    void configure(Binder& binder) override { m_configure(binder); }

private:
    std::function<void(Binder&)> m_configure;
};

inline std::vector<std::shared_ptr<Module>> modules(std::function<void(Binder&)> configure)
{
    return {std::make_shared<BindingModule>(std::move(configure))};
}

} // namespace Orvella::Testing
