#include "Shared/ClientConfiguration.hpp"

#include "Shared/BuildConfiguration.hpp"
#include "Shared/SharedConstants.hpp"
#include "Platform/Foundation/UserFolders.hpp"

#include <cstdlib>

namespace Orvella {

Platform::URL brandURL(std::string_view host, std::string_view path)
{
    auto text = "https://" + std::string(host) + std::string(path);
    auto url = Platform::URL::create(text);
    if (!url)
        fatalError("Ungültige Webadresse der Marke: " + text);
    return *url;
}

Platform::URL ClientConfiguration::defaultCloudFolderURL() const
{
    auto home = Platform::homeDirectory();
    return defaultCloudFolderURL(home.empty() ? std::filesystem::path("/") : home);
}

Platform::URL ClientConfiguration::defaultCloudFolderURL(const std::filesystem::path& homeFolder) const
{
    return Platform::URL::fileURL(homeFolder.string(), Platform::URL::IsDirectory::Yes)
        .appendingPathComponent(defaultCloudFolderName(), Platform::URL::IsDirectory::Yes);
}

namespace {

ClientConfigurationValues brandValues(std::string_view brand, std::string_view webHost, std::string_view mailDomain,
    std::optional<std::string_view> registrationPath, Quarlink::WorldID world)
{
    using namespace BuildConfiguration;
    std::string name(brand);
    std::optional<Platform::URL> registration;
    if (registrationPath)
        registration = brandURL(webHost, *registrationPath);
    return ClientConfigurationValues {
        .forgotPasswordURL = brandURL(webmailHost, "/service/" + name + "/PasswortVergessen"),
        .helpURL = brandURL(webHost, "/tarife-und-optionen/zusatzoptionen/" + name + "-cloud-option/faq/"),
        .contactURL = brandURL(webHost, "/kontakt/vertragskunden/uns-schreiben/"),
        .registrationURL = std::move(registration),
        .imprintURL = brandURL(webHost, "/legal/impressum/"),
        .dataProtectionURL = brandURL(webHost, "/legal/datenschutz/"),
        .syncInterval = 15.0,
        .defaultCloudFolderName = name + " cloud",
        .loginUserNameSuffix = "@" + std::string(mailDomain),
        .clientName = name + " cloud",
        .worldID = world,
        .emailAddressDomain = std::string(mailDomain),
    };
}

} // namespace

BrisantoClientConfiguration::BrisantoClientConfiguration()
    : BrandClientConfiguration(brandValues("brisanto", BuildConfiguration::brisantoWebHost, BuildConfiguration::brisantoMailDomain,
        std::nullopt, Quarlink::WorldID::brisanto))
{
}

TalvernClientConfiguration::TalvernClientConfiguration()
    : BrandClientConfiguration(brandValues("talvern", BuildConfiguration::talvernWebHost, BuildConfiguration::talvernMailDomain,
        "/cloud/registrieren/", Quarlink::WorldID::talvern))
{
}

RavikClientConfiguration::RavikClientConfiguration()
    : BrandClientConfiguration(brandValues("ravik", BuildConfiguration::ravikWebHost, BuildConfiguration::ravikMailDomain,
        "/cloud/registrieren/", Quarlink::WorldID::ravik))
{
}

} // namespace Orvella
