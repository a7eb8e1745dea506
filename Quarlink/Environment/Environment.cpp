#include "Quarlink/Environment/Environment.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Quarlink/Environment/EnvironmentBaseURLs.hpp"

namespace Quarlink {

namespace {

// The bundled local service, used when a configured base URL does not parse,
// so that a fixed environment always has a usable URL.
constexpr const char* fallbackBaseURL = "http://127.0.0.1:8642/v2.0";

Platform::URL fixedBaseURL(const char* configured)
{
    if (auto url = Platform::URL::create(configured))
        return *url;
    Platform::Log::Stream() << "❗️ Configured base URL is no URL, using " << fallbackBaseURL << ": " << configured;
    return *Platform::URL::create(fallbackBaseURL);
}

} // namespace

Environment Environment::custom(Platform::URL baseURL)
{
    return Environment(Kind::custom, std::move(baseURL));
}

Environment Environment::test()
{
    return Environment(Kind::test, std::nullopt);
}

Environment Environment::stage()
{
    return Environment(Kind::stage, std::nullopt);
}

Environment Environment::live()
{
    return Environment(Kind::live, std::nullopt);
}

Platform::URL Environment::baseURL() const
{
    switch (m_kind) {
    case Kind::custom:
        return *m_customBaseURL;
    case Kind::test:
        return fixedBaseURL(EnvironmentBaseURLs::test);
    case Kind::stage:
        return fixedBaseURL(EnvironmentBaseURLs::stage);
    case Kind::live:
        return fixedBaseURL(EnvironmentBaseURLs::live);
    }
    return fixedBaseURL(EnvironmentBaseURLs::live);
}

} // namespace Quarlink
