#include "Orvella/Settings/EnvironmentNames.hpp"

#include <algorithm>

namespace Orvella {

std::string description(const Quarlink::Environment& environment)
{
    switch (environment.kind()) {
    case Quarlink::Environment::Kind::test: return "Test";
    case Quarlink::Environment::Kind::stage: return "Stage";
    case Quarlink::Environment::Kind::live: return "Live";
    case Quarlink::Environment::Kind::custom: break;
    }
    return environment.baseURL().absoluteString();
}

std::vector<Quarlink::Environment> availableEnvironments()
{
    return { Quarlink::Environment::live() };
}

Quarlink::Environment environmentNamed(std::string_view name)
{
    auto parsed = Quarlink::Environment::live();
    if (name == "Test" || name == "Test12")
        parsed = Quarlink::Environment::test();
    else if (name == "Stage")
        parsed = Quarlink::Environment::stage();
    auto offered = availableEnvironments();
    auto text = description(parsed);
    if (std::ranges::none_of(offered, [&](const auto& environment) { return description(environment) == text; }))
        return Quarlink::Environment::live();
    return parsed;
}

bool sameEnvironment(const Quarlink::Environment& left, const Quarlink::Environment& right)
{
    return description(left) == description(right);
}

} // namespace Orvella
