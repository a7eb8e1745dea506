// The error report's route, fields and JSON form, and the report configuration's defaults.

#include "Quarlink/Identity/ApplicationInfo.hpp"
#include "Quarlink/Identity/SystemInfo.hpp"
#include "Quarlink/Reports/APIErrorReportRequest.hpp"
#include "Quarlink/Requests/RequestInfos.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

static_assert(checkServiceRequest<APIErrorReportRequest>());
static_assert(!requestTraits<APIErrorReportRequest>().needsAuthentication);
static_assert(!requestTraits<APIErrorReportRequest>().reportsFailures);

namespace {

const Platform::URL base = *Platform::URL::create("http://127.0.0.1:8642/v2.0");

ReportConfiguration configuration()
{
    ReportConfiguration value;
    value.systemName = "Linux";
    value.systemVersion = "12";
    value.appVersion = "2.4";
    return value;
}

class APIErrorReportRequestTests : public ::testing::Test {
protected:
    void TearDown() override { ApplicationInfo::clear(); }
};

} // namespace

TEST_F(APIErrorReportRequestTests, WithoutAccountGoesToThePublicRouteWithEveryField)
{
    // Proves a report without an account is a JSON POST to "log/error/public" carrying all nine fields under their snake-case keys.
    RequestErrorInfo info { "\nResponse: HTTP-500\nZeile\n\nMessage: kaputt", 7000 };
    APIErrorReportRequest request(info, configuration(), std::nullopt);
    auto urlRequest = makeURLRequest(request, base);
    EXPECT_EQ(urlRequest.url, "http://127.0.0.1:8642/v2.0/log/error/public");
    EXPECT_EQ(urlRequest.method, "POST");
    EXPECT_EQ(urlRequest.headers.value("Content-Type"), "application/json");
    EXPECT_EQ(JSON::parse(urlRequest.body), (JSON {
        { "is_public", true },
        { "component", "Cloud" },
        { "platform", "Linux 12" },
        { "facility", "MobileApps" },
        { "version", "2.4" },
        { "account", "unbekannt" },
        { "code", 7000 },
        { "message", "\nResponse: HTTP-500\nZeile\n\nMessage: kaputt" },
        { "secret", "Kiweroxufa4TalP8emoquisevanorUde" },
    }));
}

TEST_F(APIErrorReportRequestTests, WithAccountGoesToThePrivateRoute)
{
    // Proves an account makes a private report to "log/error" that names it, here for a decoding failure with code -2.
    auto config = configuration();
    config.component = ReportComponent::tests;
    APIErrorReportRequest request({ "\nkaputt", -2 }, config, std::string("anna@example.org"));
    EXPECT_FALSE(request.isPublic);
    auto urlRequest = makeURLRequest(request, base);
    EXPECT_EQ(urlRequest.url, "http://127.0.0.1:8642/v2.0/log/error");
    auto body = JSON::parse(urlRequest.body);
    EXPECT_EQ(body.at("is_public"), false);
    EXPECT_EQ(body.at("account"), "anna@example.org");
    EXPECT_EQ(body.at("code"), -2);
    EXPECT_EQ(body.at("component"), "Tests");
}

TEST_F(APIErrorReportRequestTests, DefaultConfigurationDescribesThisSystemAndApplication)
{
    // Proves the default configuration reads the system and the registered version, and says "unbekannt" without a usable version.
    ApplicationInfo::clear();
    ReportConfiguration unknown;
    EXPECT_EQ(unknown.systemName, SystemInfo::systemName);
    EXPECT_EQ(unknown.systemVersion, SystemInfo::systemVersion());
    EXPECT_EQ(unknown.appVersion, "unbekannt");
    EXPECT_EQ(unknown.component, ReportComponent::cloud);
    ApplicationInfo::setValue(ApplicationInfo::shortVersionKey, 24);
    EXPECT_EQ(ReportConfiguration().appVersion, "unbekannt");
    ApplicationInfo::setValue(ApplicationInfo::shortVersionKey, "2.4.1");
    EXPECT_EQ(ReportConfiguration().appVersion, "2.4.1");
    EXPECT_EQ(reportComponentFromRawValue("Mail"), ReportComponent::mail);
    EXPECT_FALSE(reportComponentFromRawValue("cloud").has_value());
}
