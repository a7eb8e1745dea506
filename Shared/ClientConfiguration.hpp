#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Session/WorldID.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace Orvella {

// A brand's compiled-in configuration: web pages, sync interval, names, the
// world sent at login and the mail domain. Nothing else names a brand.
class ClientConfiguration {
public:
    virtual ~ClientConfiguration() = default;

    [[nodiscard]] virtual const Platform::URL& forgotPasswordURL() const = 0;
    [[nodiscard]] virtual const Platform::URL& helpURL() const = 0;
    [[nodiscard]] virtual const Platform::URL& contactURL() const = 0;
    // Absent when the brand offers no sign-up.
    [[nodiscard]] virtual const std::optional<Platform::URL>& registrationURL() const = 0;
    [[nodiscard]] virtual const Platform::URL& imprintURL() const = 0;
    [[nodiscard]] virtual const Platform::URL& dataProtectionURL() const = 0;
    // Seconds between polls of the remote side.
    [[nodiscard]] virtual double syncInterval() const = 0;
    [[nodiscard]] virtual const std::string& defaultCloudFolderName() const = 0;
    // "@" and the mail domain, shown with the user-name field.
    [[nodiscard]] virtual const std::string& loginUserNameSuffix() const = 0;
    [[nodiscard]] virtual const std::string& clientName() const = 0;
    [[nodiscard]] virtual Quarlink::WorldID worldID() const = 0;
    // Appended to a bare user name; without "@".
    [[nodiscard]] virtual const std::string& emailAddressDomain() const = 0;

    // The user's home folder ($HOME) with `defaultCloudFolderName` as a directory.
    [[nodiscard]] Platform::URL defaultCloudFolderURL() const;
    [[nodiscard]] Platform::URL defaultCloudFolderURL(const std::filesystem::path& homeFolder) const;
};

// The twelve values of one brand, in the order of `ClientConfiguration`.
struct ClientConfigurationValues {
    Platform::URL forgotPasswordURL;
    Platform::URL helpURL;
    Platform::URL contactURL;
    std::optional<Platform::URL> registrationURL;
    Platform::URL imprintURL;
    Platform::URL dataProtectionURL;
    double syncInterval;
    std::string defaultCloudFolderName;
    std::string loginUserNameSuffix;
    std::string clientName;
    Quarlink::WorldID worldID;
    std::string emailAddressDomain;
};

// A brand as a plain record of its values.
class BrandClientConfiguration : public ClientConfiguration {
public:
    [[nodiscard]] const Platform::URL& forgotPasswordURL() const override { return m_values.forgotPasswordURL; }
    [[nodiscard]] const Platform::URL& helpURL() const override { return m_values.helpURL; }
    [[nodiscard]] const Platform::URL& contactURL() const override { return m_values.contactURL; }
    [[nodiscard]] const std::optional<Platform::URL>& registrationURL() const override { return m_values.registrationURL; }
    [[nodiscard]] const Platform::URL& imprintURL() const override { return m_values.imprintURL; }
    [[nodiscard]] const Platform::URL& dataProtectionURL() const override { return m_values.dataProtectionURL; }
    [[nodiscard]] double syncInterval() const override { return m_values.syncInterval; }
    [[nodiscard]] const std::string& defaultCloudFolderName() const override { return m_values.defaultCloudFolderName; }
    [[nodiscard]] const std::string& loginUserNameSuffix() const override { return m_values.loginUserNameSuffix; }
    [[nodiscard]] const std::string& clientName() const override { return m_values.clientName; }
    [[nodiscard]] Quarlink::WorldID worldID() const override { return m_values.worldID; }
    [[nodiscard]] const std::string& emailAddressDomain() const override { return m_values.emailAddressDomain; }

protected:
    explicit BrandClientConfiguration(ClientConfigurationValues values) : m_values(std::move(values)) {}

private:
    ClientConfigurationValues m_values;
};

// The brand the application is built with.
class BrisantoClientConfiguration final : public BrandClientConfiguration {
public:
    BrisantoClientConfiguration();
};

class TalvernClientConfiguration final : public BrandClientConfiguration {
public:
    TalvernClientConfiguration();
};

class RavikClientConfiguration final : public BrandClientConfiguration {
public:
    RavikClientConfiguration();
};

// An https address on `host` with `path`; a programming error (the process
// stops) when it does not parse.
[[nodiscard]] Platform::URL brandURL(std::string_view host, std::string_view path);

} // namespace Orvella
