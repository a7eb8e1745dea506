// The composition of the share, account, thumbnail and debug request types,
// checked at compile time, and each one's URL request against one base URL.

#include "Quarlink/Account/CustomerImageDeleteRequest.hpp"
#include "Quarlink/Account/CustomerImageDownloadRequest.hpp"
#include "Quarlink/Account/CustomerImageUploadRequest.hpp"
#include "Quarlink/Account/CustomerRequest.hpp"
#include "Quarlink/Debug/FlushRequest.hpp"
#include "Quarlink/Identity/ApplicationInfo.hpp"
#include "Quarlink/Requests/AnyRequest.hpp"
#include "Quarlink/Shares/AcceptPendingShareRequest.hpp"
#include "Quarlink/Shares/CreatePrivateShareRequest.hpp"
#include "Quarlink/Shares/CreatePublicShareRequest.hpp"
#include "Quarlink/Shares/DeclinePendingShareRequest.hpp"
#include "Quarlink/Shares/DeleteShareRequest.hpp"
#include "Quarlink/Shares/DeleteSharesForFileRequest.hpp"
#include "Quarlink/Shares/PendingShareListRequest.hpp"
#include "Quarlink/Shares/ShareInfosForFileRequest.hpp"
#include "Quarlink/Shares/ShareListRequest.hpp"
#include "Quarlink/Shares/ShareOwnerRequest.hpp"
#include "Quarlink/Shares/SharePermissionRequest.hpp"
#include "Quarlink/Shares/SharesForFileRequest.hpp"
#include "Quarlink/Shares/UpdatePublicShareDurationRequest.hpp"
#include "Quarlink/Thumbnails/ThumbnailDownloadRequest.hpp"
#include "Quarlink/Thumbnails/ThumbnailRequest.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>

using namespace Quarlink;

namespace {

// One row of the catalogue: what a type declares about its travel and result.
struct Row {
    TaskKind task;
    BodyKind body;
    // Renews a rejected session.
    bool renews;
    // Quota hook (an envelope) rather than the report hook.
    bool quota;
};

template<class R, class Value>
consteval bool row(Row expected)
{
    constexpr auto traits = requestTraits<R>();
    return checkServiceRequest<R>() && std::is_same_v<typename R::SuccessValue, Value> && traits.taskKind == expected.task
        && traits.body == expected.body && traits.needsAuthentication == expected.renews && traits.enveloped == expected.quota
        && traits.reportsFailures;
}

constexpr Row dataEnvelope { TaskKind::data, BodyKind::none, true, true };
constexpr Row dataReport { TaskKind::data, BodyKind::none, true, false };
constexpr Row ownEnvelope { TaskKind::data, BodyKind::ownJSON, true, true };

template<class T>
using Envelope = CloudMetaPackage<T>;

// Shares.
static_assert(row<ShareListRequest, Envelope<std::vector<Share>>>(dataEnvelope));
static_assert(row<SharesForFileRequest, Envelope<std::vector<Share>>>(dataEnvelope));
static_assert(row<PendingShareListRequest, Envelope<std::vector<PrivateShare>>>(dataEnvelope));
static_assert(row<ShareInfosForFileRequest, Envelope<ShareInfo>>(dataEnvelope));
static_assert(row<SharePermissionRequest, Envelope<SharePermission>>(dataEnvelope));
static_assert(row<CreatePrivateShareRequest, Envelope<std::vector<Share>>>({ TaskKind::data, BodyKind::parametersJSON, true, true }));
static_assert(row<CreatePublicShareRequest, Envelope<std::vector<Share>>>(ownEnvelope));
static_assert(row<UpdatePublicShareDurationRequest, Envelope<PublicShare>>(ownEnvelope));
static_assert(row<AcceptPendingShareRequest, Envelope<PrivateShare>>(ownEnvelope));
static_assert(row<ShareOwnerRequest, Owner>(dataReport));
static_assert(row<DeleteShareRequest, Reactive::Unit>(dataReport));
static_assert(row<DeleteSharesForFileRequest, Reactive::Unit>(dataReport));
static_assert(row<DeclinePendingShareRequest, Reactive::Unit>({ TaskKind::data, BodyKind::ownJSON, true, false }));
// Thumbnails.
static_assert(row<ThumbnailRequest, Image>(dataReport));
static_assert(row<ThumbnailDownloadRequest, ProgressEvent<Platform::URL>>({ TaskKind::download, BodyKind::none, true, false }));
// Account and service.
static_assert(row<CustomerRequest, CustomerInfo>(dataReport));
static_assert(row<CustomerImageDeleteRequest, Reactive::Unit>(dataReport));
static_assert(row<CustomerImageUploadRequest, Reactive::Unit>({ TaskKind::upload, BodyKind::none, true, false }));
static_assert(row<CustomerImageDownloadRequest, ProgressEvent<Platform::URL>>({ TaskKind::download, BodyKind::none, true, false }));
static_assert(row<FlushRequest, Reactive::Unit>(dataReport));

// Only the upload type stores a content type; only the flush makes its own URL request.
static_assert(Overrides<CustomerImageUploadRequest, RequestMember::contentType>);
static_assert(Overrides<FlushRequest, RequestMember::urlRequest>);
static_assert(!Overrides<ThumbnailRequest, RequestMember::parse> && !Overrides<CustomerRequest, RequestMember::parse>
    && !Overrides<ShareOwnerRequest, RequestMember::parse>);

template<class... R>
struct Types { };

using Catalogue = Types<ShareListRequest, SharesForFileRequest, PendingShareListRequest, ShareInfosForFileRequest,
    SharePermissionRequest, CreatePrivateShareRequest, CreatePublicShareRequest, UpdatePublicShareDurationRequest,
    AcceptPendingShareRequest, ShareOwnerRequest, DeleteShareRequest, DeleteSharesForFileRequest, DeclinePendingShareRequest,
    ThumbnailRequest, ThumbnailDownloadRequest, CustomerRequest, CustomerImageDeleteRequest, CustomerImageUploadRequest,
    CustomerImageDownloadRequest, FlushRequest>;

template<class... R, class Predicate>
consteval int count(Types<R...>, Predicate predicate)
{
    return (0 + ... + (predicate(requestTraits<R>(), Overrides<R, RequestMember::urlRequest>) ? 1 : 0));
}

constexpr auto all = [](RequestTraits, bool) { return true; };
static_assert(count(Catalogue {}, all) == 20);
static_assert(count(Catalogue {}, [](RequestTraits t, bool) { return t.enveloped; }) == 9);
static_assert(count(Catalogue {}, [](RequestTraits t, bool) { return !t.enveloped; }) == 11);
static_assert(count(Catalogue {}, [](RequestTraits t, bool) { return t.body == BodyKind::none; }) == 15);
static_assert(count(Catalogue {}, [](RequestTraits t, bool) { return t.body == BodyKind::ownJSON; }) == 4);
static_assert(count(Catalogue {}, [](RequestTraits t, bool) { return t.body == BodyKind::parametersJSON; }) == 1);
static_assert(count(Catalogue {}, [](RequestTraits t, bool) { return t.body == BodyKind::payloadJSON; }) == 0);
static_assert(count(Catalogue {}, [](RequestTraits t, bool) { return t.taskKind == TaskKind::upload; }) == 1);
static_assert(count(Catalogue {}, [](RequestTraits t, bool) { return t.taskKind == TaskKind::download; }) == 2);
static_assert(count(Catalogue {}, [](RequestTraits t, bool) { return !t.needsAuthentication; }) == 0);
// Low-bandwidth eligible: the data tasks assembled by the pipeline.
static_assert(count(Catalogue {}, [](RequestTraits t, bool ownURLRequest) { return t.taskKind == TaskKind::data && !ownURLRequest; }) == 16);

struct Golden {
    std::string method;
    std::string url;
    std::string contentType;
    // The body parsed as JSON; null for none.
    nlohmann::json body;
    bool lowBandwidth;
};

class EndpointCatalogueTests : public ::testing::Test {
protected:
    void SetUp() override { ApplicationInfo::setValue(ApplicationInfo::clientHeaderKey, "Quarlink-Tests"); }
    void TearDown() override { ApplicationInfo::removeValue(ApplicationInfo::clientHeaderKey); }

    const Platform::URL m_base = *Platform::URL::create("https://api.example.test/v2.0");

    template<class R>
    void expectGolden(const R& request, const Golden& golden)
    {
        SCOPED_TRACE(golden.url);
        auto urlRequest = makeURLRequest(request, m_base);
        EXPECT_EQ(urlRequest.method, golden.method);
        EXPECT_EQ(urlRequest.url, golden.url);
        std::set<std::string> names;
        for (const auto& [name, value] : urlRequest.headers.fields())
            names.insert(name);
        EXPECT_EQ(names, (std::set<std::string> { "Content-Type", "User-Agent", "X-Client" }));
        EXPECT_EQ(urlRequest.headers.value("Content-Type"), golden.contentType);
        if (golden.body.is_null())
            EXPECT_EQ(urlRequest.body, "");
        else
            EXPECT_EQ(nlohmann::json::parse(urlRequest.body), golden.body);
        EXPECT_EQ(AnyRequest(request).isEligibleForLowBandWidthConnections(), golden.lowBandwidth);
    }
};

const std::string base = "https://api.example.test/v2.0/";

} // namespace

TEST_F(EndpointCatalogueTests, ShareTypesAssembleTheirMethodAddressHeadersAndBody)
{
    // Proves every share type's URL request: method, address with query, the three standard header fields and the parsed body.
    using nlohmann::json;
    expectGolden(ShareListRequest(), { "GET", base + "shares", "text/plain", nullptr, true });
    expectGolden(SharesForFileRequest { 77 }, { "GET", base + "shares/files/77", "text/plain", nullptr, true });
    expectGolden(PendingShareListRequest(), { "GET", base + "shares/pending", "text/plain", nullptr, true });
    expectGolden(ShareInfosForFileRequest { 77 }, { "GET", base + "files/77/shareinfos", "text/plain", nullptr, true });
    expectGolden(SharePermissionRequest { -3 }, { "GET", base + "files/-3/permissions", "text/plain", nullptr, true });
    expectGolden(CreatePrivateShareRequest { 42, "Hallo", { "b@example.org", "b@example.org", "kein Empfänger" } },
        { "POST", base + "shares", "application/json",
            json { { "type", "private" }, { "file_id", 42 }, { "message", "Hallo" },
                { "share_with", { "b@example.org", "b@example.org", "kein Empfänger" } } },
            true });
    expectGolden(CreatePrivateShareRequest { 42, "", {} },
        { "POST", base + "shares", "application/json",
            json { { "type", "private" }, { "file_id", 42 }, { "message", "" }, { "share_with", json::array() } }, true });
    expectGolden(CreatePublicShareRequest(42, ShareLifetime::unlimited),
        { "POST", base + "shares", "application/json", json { { "type", "public" }, { "file_id", 42 }, { "valid_to", 0 } }, true });
    expectGolden(UpdatePublicShareDurationRequest(17, ShareLifetime::long_),
        { "PATCH", base + "shares/17", "application/json", json { { "share_id", 17 }, { "valid_to", 30 } }, true });
    expectGolden(AcceptPendingShareRequest(5), { "PUT", base + "shares/accept", "application/json", json { { "share_id", 5 } }, true });
    expectGolden(AcceptPendingShareRequest(5, 9, "Urlaub"),
        { "PUT", base + "shares/accept", "application/json",
            json { { "share_id", 5 }, { "target_parent_folder_id", 9 }, { "target_folder_name", "Urlaub" } }, true });
    PrivateShare share;
    share.shareID = 9;
    share.cid = 42;
    expectGolden(ShareOwnerRequest { share }, { "GET", base + "shares/owner/42", "text/plain", nullptr, true });
    expectGolden(DeleteShareRequest { 17 }, { "DELETE", base + "shares/17", "text/plain", nullptr, true });
    using Type = DeleteSharesForFileRequest::ShareType;
    expectGolden(DeleteSharesForFileRequest(42, Type::public_), { "DELETE", base + "shares/files/42?type=public", "text/plain", nullptr, true });
    expectGolden(DeleteSharesForFileRequest(42, Type::private_), { "DELETE", base + "shares/files/42?type=private", "text/plain", nullptr, true });
    expectGolden(DeleteSharesForFileRequest(42, Type::all), { "DELETE", base + "shares/files/42", "text/plain", nullptr, true });
    expectGolden(DeclinePendingShareRequest { 5 }, { "PUT", base + "shares/refuse", "application/json", json { { "share_id", 5 } }, true });
}

TEST_F(EndpointCatalogueTests, LifetimesAreSentAsTheirNumbers)
{
    // Proves the four lifetimes' integers, for creating a link and for changing it.
    const std::pair<ShareLifetime, int> table[] = { { ShareLifetime::short_, 7 }, { ShareLifetime::medium, 14 },
        { ShareLifetime::long_, 30 }, { ShareLifetime::unlimited, 0 } };
    for (auto [lifetime, days] : table) {
        EXPECT_EQ(nlohmann::json::parse(makeURLRequest(CreatePublicShareRequest(1, lifetime), m_base).body)["valid_to"], days);
        EXPECT_EQ(nlohmann::json::parse(makeURLRequest(UpdatePublicShareDurationRequest(1, lifetime), m_base).body)["valid_to"], days);
    }
}

TEST_F(EndpointCatalogueTests, ThumbnailAccountAndFlushTypesAssembleTheirRequests)
{
    // Proves the thumbnail, customer and picture types' URL requests, and that the flush request carries no header fields at all.
    expectGolden(ThumbnailRequest(5), { "GET", base + "files/5/thumbnail?x=60&y=60", "text/plain", nullptr, true });
    expectGolden(ThumbnailRequest(5, ThumbnailSize::custom(320, -240)),
        { "GET", base + "files/5/thumbnail?x=320&y=-240", "text/plain", nullptr, true });
    expectGolden(ThumbnailDownloadRequest(5, ThumbnailSize::detail),
        { "GET", base + "files/5/thumbnail?x=2000&y=2000", "text/plain", nullptr, false });
    expectGolden(CustomerRequest(), { "GET", base + "customer", "text/plain", nullptr, true });
    expectGolden(CustomerImageDeleteRequest(), { "DELETE", base + "profile/picture", "text/plain", nullptr, true });
    expectGolden(CustomerImageDownloadRequest(), { "GET", base + "profile/picture", "text/plain", nullptr, false });
    expectGolden(CustomerImageUploadRequest(Platform::URL::fileURL("/nowhere/picture.unknown-kind")),
        { "PUT", base + "profile/picture", "application/octet-stream", nullptr, false });

    auto flush = makeURLRequest(FlushRequest(), m_base);
    EXPECT_EQ(flush.method, "GET");
    EXPECT_EQ(flush.url, "https://api.example.test/debug/flush-cloud");
    EXPECT_TRUE(flush.headers.fields().empty());
    EXPECT_EQ(flush.body, "");
    EXPECT_EQ(makeURLRequest(FlushRequest(), *Platform::URL::create("https://api.example.test/v2.0/")).url, flush.url);
    EXPECT_FALSE(AnyRequest(FlushRequest()).isEligibleForLowBandWidthConnections());
}

TEST_F(EndpointCatalogueTests, ThumbnailRequestsKeepTheirPriorityAndNames)
{
    // Proves the stored very-low priority and the two debug texts, the download one under its older name.
    EXPECT_EQ(ThumbnailRequest(5).priority, QueuePriority::veryLow);
    EXPECT_EQ(ThumbnailDownloadRequest(5, ThumbnailSize::grid).priority, QueuePriority::veryLow);
    EXPECT_EQ(ThumbnailRequest(4711).debugDescription(), "ThumbnailRequest(fileID: 4711)");
    EXPECT_EQ(ThumbnailDownloadRequest(4711).debugDescription(), "ThumbnailDataRequest(fileID: 4711)");
    EXPECT_EQ(ThumbnailRequest(1).scale(), ApplicationInfo::screenScale().value_or(1.0));
}
