// The whole request catalogue, checked at compile time: every service request
// type with how it travels, where its body comes from, whether it renews a
// rejected session, which completion hook it gets and what it delivers; and
// the counts the catalogue implies.

#include "Quarlink/Account/CustomerImageDeleteRequest.hpp"
#include "Quarlink/Account/CustomerImageDownloadRequest.hpp"
#include "Quarlink/Account/CustomerImageUploadRequest.hpp"
#include "Quarlink/Account/CustomerRequest.hpp"
#include "Quarlink/Debug/FlushRequest.hpp"
#include "Quarlink/Downloads/FileDownloadRequest.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/Reports/APIErrorReportRequest.hpp"
#include "Quarlink/Requests/Perform.hpp"
#include "Quarlink/Session/CreateLoginHashRequest.hpp"
#include "Quarlink/Session/LoginRequest.hpp"
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
#include "Quarlink/Uploads/UploadRequests.hpp"

#include "Quarlink/Identity/ApplicationInfo.hpp"
#include "Quarlink/Requests/AnyRequest.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>
#include <tuple>

using namespace Quarlink;

namespace {

enum class Hook { quota, report };

// What one type declares: its travel, its body, its recovery and its hook.
struct Row {
    TaskKind task;
    BodyKind body;
    bool renewsSession;
    Hook hook;
};

template<class R>
consteval Row rowOf()
{
    constexpr auto traits = requestTraits<R>();
    return { traits.taskKind, traits.body, traits.needsAuthentication, traits.enveloped ? Hook::quota : Hook::report };
}

template<class R, class Value>
consteval bool row(Row expected)
{
    constexpr auto actual = rowOf<R>();
    return checkServiceRequest<R>() && std::is_same_v<typename R::SuccessValue, Value> && actual.task == expected.task
        && actual.body == expected.body && actual.renewsSession == expected.renewsSession && actual.hook == expected.hook;
}

constexpr auto data = TaskKind::data;
constexpr auto upload = TaskKind::upload;
constexpr auto download = TaskKind::download;
constexpr auto none = BodyKind::none;
constexpr auto own = BodyKind::ownJSON;
constexpr auto payload = BodyKind::payloadJSON;
constexpr auto parameters = BodyKind::parametersJSON;
constexpr auto quota = Hook::quota;
constexpr auto report = Hook::report;

template<class T>
using Envelope = CloudMetaPackage<T>;
using Files = Envelope<std::vector<File>>;
using Downloaded = ProgressEvent<Platform::URL>;

// File listings and lookups.
static_assert(row<FileListRequest, Files>({ data, none, true, quota }));
static_assert(row<RecursiveFileListRequest, Files>({ data, none, true, quota }));
static_assert(row<DocumentsRequest, Files>({ data, none, true, quota }));
static_assert(row<PhotosRequest, Files>({ data, none, true, quota }));
static_assert(row<MusicRequest, Files>({ data, none, true, quota }));
static_assert(row<SharedFilesRequest, Files>({ data, none, true, quota }));
static_assert(row<RecentFilesRequest, Files>({ data, none, true, quota }));
static_assert(row<FilesDeltaRequest, Files>({ data, none, true, quota }));
static_assert(row<FilesGetterRequest, Files>({ data, own, true, quota }));
static_assert(row<PhotoIDsRequest, Envelope<std::vector<std::int64_t>>>({ data, none, true, quota }));
static_assert(row<FileSearchRequest, Files>({ data, none, true, quota }));
static_assert(row<GetFileRequest, Envelope<File>>({ data, none, true, quota }));
static_assert(row<EtagRequest, Envelope<EtagResponse>>({ data, none, true, quota }));
// File operations and transfers.
static_assert(row<CreateFolderRequest, Envelope<File>>({ data, payload, true, quota }));
static_assert(row<RenameFileRequest, Envelope<File>>({ data, own, true, quota }));
static_assert(row<FileMoveRequest, Envelope<MoveBatchPackage>>({ data, own, true, quota }));
static_assert(row<FileDeleteRequest, Envelope<DeleteBatchPackage>>({ data, own, true, quota }));
static_assert(row<FileUploadInitRequest, UploadInitResult>({ data, payload, true, report }));
static_assert(row<FileUploadRequest, Envelope<File>>({ upload, own, true, quota }));
static_assert(row<FileDownloadRequest, Downloaded>({ download, none, true, report }));
static_assert(row<ThumbnailRequest, Image>({ data, none, true, report }));
static_assert(row<ThumbnailDownloadRequest, Downloaded>({ download, none, true, report }));
// Shares.
static_assert(row<ShareListRequest, Envelope<std::vector<Share>>>({ data, none, true, quota }));
static_assert(row<SharesForFileRequest, Envelope<std::vector<Share>>>({ data, none, true, quota }));
static_assert(row<PendingShareListRequest, Envelope<std::vector<PrivateShare>>>({ data, none, true, quota }));
static_assert(row<ShareInfosForFileRequest, Envelope<ShareInfo>>({ data, none, true, quota }));
static_assert(row<SharePermissionRequest, Envelope<SharePermission>>({ data, none, true, quota }));
static_assert(row<CreatePrivateShareRequest, Envelope<std::vector<Share>>>({ data, parameters, true, quota }));
static_assert(row<CreatePublicShareRequest, Envelope<std::vector<Share>>>({ data, own, true, quota }));
static_assert(row<UpdatePublicShareDurationRequest, Envelope<PublicShare>>({ data, own, true, quota }));
static_assert(row<AcceptPendingShareRequest, Envelope<PrivateShare>>({ data, own, true, quota }));
static_assert(row<ShareOwnerRequest, Owner>({ data, none, true, report }));
static_assert(row<DeleteShareRequest, Reactive::Unit>({ data, none, true, report }));
static_assert(row<DeleteSharesForFileRequest, Reactive::Unit>({ data, none, true, report }));
static_assert(row<DeclinePendingShareRequest, Reactive::Unit>({ data, own, true, report }));
// Account, session and service.
static_assert(row<LoginRequest, Reactive::Unit>({ data, own, false, report }));
static_assert(row<CreateLoginHashRequest, Platform::URL>({ data, none, true, report }));
static_assert(row<CustomerRequest, CustomerInfo>({ data, none, true, report }));
static_assert(row<CustomerImageDeleteRequest, Reactive::Unit>({ data, none, true, report }));
static_assert(row<CustomerImageUploadRequest, Reactive::Unit>({ upload, none, true, report }));
static_assert(row<CustomerImageDownloadRequest, Downloaded>({ download, none, true, report }));
static_assert(row<APIErrorReportRequest, Reactive::Unit>({ data, own, false, report }));
static_assert(row<FlushRequest, Reactive::Unit>({ data, none, true, report }));
// The batch getter runs no pipeline of its own: each batch is a `FilesGetterRequest`.
static_assert(!ServiceRequest<BatchFilesGetterRequest>);
static_assert(std::is_same_v<BatchFilesGetterRequest::SuccessValue, Files>);

// A failing error report posts no failure record, so a failing report service cannot cause reports without end.
static_assert(!requestTraits<APIErrorReportRequest>().reportsFailures);

// Members declared in place of a default, where the catalogue names them.
static_assert(Overrides<FileUploadRequest, RequestMember::contentType> && Overrides<CustomerImageUploadRequest, RequestMember::contentType>);
static_assert(Overrides<FileUploadRequest, RequestMember::customHeaders> && Overrides<FileDownloadRequest, RequestMember::customHeaders>);
static_assert(Overrides<FilesDeltaRequest, RequestMember::parse> && Overrides<FileUploadInitRequest, RequestMember::parse>
    && Overrides<CreateLoginHashRequest, RequestMember::parse>);
static_assert(Overrides<FlushRequest, RequestMember::urlRequest>);

template<class... R>
struct Types { };

using Pipeline = Types<FileListRequest, RecursiveFileListRequest, DocumentsRequest, PhotosRequest, MusicRequest,
    SharedFilesRequest, RecentFilesRequest, FilesDeltaRequest, FilesGetterRequest, PhotoIDsRequest, FileSearchRequest,
    GetFileRequest, EtagRequest, CreateFolderRequest, RenameFileRequest, FileMoveRequest, FileDeleteRequest,
    FileUploadInitRequest, FileUploadRequest, FileDownloadRequest, ThumbnailRequest, ThumbnailDownloadRequest,
    ShareListRequest, SharesForFileRequest, PendingShareListRequest, ShareInfosForFileRequest, SharePermissionRequest,
    CreatePrivateShareRequest, CreatePublicShareRequest, UpdatePublicShareDurationRequest, AcceptPendingShareRequest,
    ShareOwnerRequest, DeleteShareRequest, DeleteSharesForFileRequest, DeclinePendingShareRequest, LoginRequest,
    CreateLoginHashRequest, CustomerRequest, CustomerImageDeleteRequest, CustomerImageUploadRequest,
    CustomerImageDownloadRequest, APIErrorReportRequest, FlushRequest>;

// Whether the pipeline offers the type to low-bandwidth connections, as a request filter sees it.
template<class R>
consteval bool lowBandwidth()
{
    if constexpr (Overrides<R, RequestMember::isEligibleForLowBandWidthConnections>)
        return false;
    else
        return taskKindOf<R> == TaskKind::data && !Overrides<R, RequestMember::urlRequest>;
}

template<class... R, class Predicate>
consteval int count(Types<R...>, Predicate predicate)
{
    return (0 + ... + (predicate(rowOf<R>(), lowBandwidth<R>()) ? 1 : 0));
}

// 43 types through the generic pipeline, the batch getter beside them: 44.
static_assert(count(Pipeline {}, [](Row, bool) { return true; }) == 43);
static_assert(count(Pipeline {}, [](Row r, bool) { return r.hook == quota; }) == 27);
static_assert(count(Pipeline {}, [](Row r, bool) { return r.hook == report; }) == 16);
static_assert(count(Pipeline {}, [](Row r, bool) { return r.body == none; }) == 29);
static_assert(count(Pipeline {}, [](Row r, bool) { return r.body == own; }) == 11);
static_assert(count(Pipeline {}, [](Row r, bool) { return r.body == payload; }) == 2);
static_assert(count(Pipeline {}, [](Row r, bool) { return r.body == parameters; }) == 1);
static_assert(count(Pipeline {}, [](Row r, bool) { return r.task == upload; }) == 2);
static_assert(count(Pipeline {}, [](Row r, bool) { return r.task == download; }) == 3);
static_assert(count(Pipeline {}, [](Row r, bool) { return !r.renewsSession; }) == 2);
static_assert(count(Pipeline {}, [](Row, bool eligible) { return eligible; }) == 37);

} // namespace

TEST(RequestCatalogue, EligibilityAtRunTimeMatchesTheTable)
{
    // Proves the run-time answer a request filter reads agrees with the table for representative types of each kind.
    EXPECT_TRUE(AnyRequest(ShareListRequest()).isEligibleForLowBandWidthConnections());
    EXPECT_TRUE(AnyRequest(ThumbnailRequest(1)).isEligibleForLowBandWidthConnections());
    EXPECT_FALSE(AnyRequest(ThumbnailDownloadRequest(1)).isEligibleForLowBandWidthConnections());
    EXPECT_FALSE(AnyRequest(CustomerImageUploadRequest(Platform::URL::fileURL("/nowhere/a.png"))).isEligibleForLowBandWidthConnections());
    EXPECT_FALSE(AnyRequest(FlushRequest()).isEligibleForLowBandWidthConnections());
}

namespace {

// One value of every type, as its callers make them.
auto samples()
{
    Upload upload { Platform::URL::fileURL("/nowhere/a.txt") };
    upload.parentID = 1;
    upload.fileName = "a.txt";
    upload.mimeType = "text/plain";
    PrivateShare share;
    share.cid = 42;
    return std::make_tuple(FileListRequest { 7 }, RecursiveFileListRequest(), DocumentsRequest(), PhotosRequest(), MusicRequest(),
        SharedFilesRequest(), RecentFilesRequest(), FilesDeltaRequest { 1'700'000'000 }, FilesGetterRequest { { 1, 2 } },
        PhotoIDsRequest(), FileSearchRequest { "Bericht", std::nullopt }, GetFileRequest { 7 }, EtagRequest { 7 }, CreateFolderRequest("Neu", 7),
        RenameFileRequest { "neu.txt", 7 }, FileMoveRequest { { 1 }, 7 }, FileDeleteRequest { { 1 } }, FileUploadInitRequest(upload),
        FileUploadRequest(upload, 7), FileDownloadRequest { 7, "a.txt", 9, std::nullopt }, ThumbnailRequest(7),
        ThumbnailDownloadRequest(7), ShareListRequest(), SharesForFileRequest { 7 }, PendingShareListRequest(),
        ShareInfosForFileRequest { 7 }, SharePermissionRequest { 7 }, CreatePrivateShareRequest { 7, "Hallo", { "b@example.org" } },
        CreatePublicShareRequest(7, ShareLifetime::short_), UpdatePublicShareDurationRequest(3, ShareLifetime::long_),
        AcceptPendingShareRequest(3), ShareOwnerRequest { share }, DeleteShareRequest { 3 },
        DeleteSharesForFileRequest(7, DeleteSharesForFileRequest::ShareType::public_), DeclinePendingShareRequest { 3 },
        LoginRequest::make({ "anna@example.org", "geheim" }, WorldID::talvern), CreateLoginHashRequest(), CustomerRequest(),
        CustomerImageDeleteRequest(), CustomerImageUploadRequest(Platform::URL::fileURL("/nowhere/a.png")),
        CustomerImageDownloadRequest(), APIErrorReportRequest({}, {}, std::string("anna@example.org")), FlushRequest());
}

class RequestCatalogueAssembly : public ::testing::Test {
protected:
    void SetUp() override { ApplicationInfo::setValue(ApplicationInfo::clientHeaderKey, "Quarlink-Tests"); }
    void TearDown() override { ApplicationInfo::removeValue(ApplicationInfo::clientHeaderKey); }

    template<class R>
    void expectAssembled(const R& request)
    {
        const auto base = *Platform::URL::create("https://api.example.test/v2.0");
        auto urlRequest = makeURLRequest(request, base);
        SCOPED_TRACE(urlRequest.url);
        if constexpr (Overrides<R, RequestMember::urlRequest>) {
            EXPECT_TRUE(urlRequest.headers.fields().empty());
            EXPECT_FALSE(urlRequest.url.starts_with(base.absoluteString()));
            return;
        } else {
            EXPECT_EQ(urlRequest.url.rfind("https://api.example.test/v2.0/" + std::string(request.path()), 0), 0u);
            EXPECT_EQ(urlRequest.method, methodText(requestMethod(request)));
            std::set<std::string> expected { "Content-Type", "User-Agent", "X-Client" };
            for (const auto& [name, value] : requestCustomHeaders(request))
                expected.insert(name);
            std::set<std::string> names;
            for (const auto& [name, value] : urlRequest.headers.fields())
                names.insert(name);
            EXPECT_EQ(names, expected);
            constexpr auto body = requestTraits<R>().body;
            if constexpr (!Overrides<R, RequestMember::contentType>) {
                EXPECT_EQ(urlRequest.headers.value("Content-Type"), body == BodyKind::none ? "text/plain" : "application/json");
            }
            if constexpr (body == BodyKind::none) {
                EXPECT_EQ(urlRequest.body, "");
            } else {
                EXPECT_TRUE(nlohmann::json::parse(urlRequest.body, nullptr, false).is_object());
            }
        }
    }
};

} // namespace

TEST_F(RequestCatalogueAssembly, EveryTypeAssemblesUnderOneBaseURL)
{
    // Proves every type's URL request under one base URL: its path below the base (the flush outside it, bare),
    // the standard header fields plus only its own, the content type of its body kind, and a JSON object body
    // exactly for the JSON body kinds.
    std::apply([this](const auto&... request) { (expectAssembled(request), ...); }, samples());
    EXPECT_EQ(std::tuple_size_v<decltype(samples())>, 43u);
}

namespace {

template<class R>
std::string bodyOf(const R& request)
{
    return makeURLRequest(request, *Platform::URL::create("https://api.example.test/v2.0")).body;
}

std::string quoted(const std::string& text)
{
    return nlohmann::json(text).dump();
}

} // namespace

TEST_F(RequestCatalogueAssembly, EveryBodyIsWrittenByteForByteWithItsKeysInTheirOrder)
{
    // Proves each body-bearing type writes exactly these bytes: its keys in the order of its fields, never sorted.
    Upload upload { Platform::URL::fileURL("/nowhere/a.txt") };
    upload.parentID = 1;
    upload.fileName = "a.txt";
    upload.createdDate = Platform::Date::fromWholeSecondsSince1970(100);
    upload.lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(200);
    upload.mimeType = "text/plain";
    upload.numberOfBytes = 3;
    upload.fileHash = "0beec7b5ea3f0fdbc95d0dd47f3c5bc275da8a33";
    EXPECT_EQ(bodyOf(FilesGetterRequest { { 1, 2 } }), R"({"file_ids":[1,2]})");
    EXPECT_EQ(bodyOf(CreateFolderRequest("Neu", 7)), R"({"folder_name":"Neu","file_id":7})");
    EXPECT_EQ(bodyOf(CreateFolderRequest("Neu")), R"({"folder_name":"Neu"})");
    EXPECT_EQ(bodyOf(RenameFileRequest { "neu.txt", 7 }), R"({"new_name":"neu.txt","file_id":7})");
    EXPECT_EQ(bodyOf(FileMoveRequest { { 1, 2 }, 7 }), R"({"file_ids":[1,2],"destination_folder_id":7})");
    EXPECT_EQ(bodyOf(FileDeleteRequest { { 1 } }), R"({"file_ids":[1]})");
    EXPECT_EQ(bodyOf(FileUploadInitRequest(upload)),
        R"({"parent_file_id":1,"name":"a.txt","mime_type":"text/plain","created":100,"modified":200,)"
        R"("hash":"0beec7b5ea3f0fdbc95d0dd47f3c5bc275da8a33","file_size":3})");
    EXPECT_EQ(bodyOf(FileUploadRequest(upload, 7)),
        R"({"path":"files/7/stream","method":2,"file_url":"file:///nowhere/a.txt","content_type":"text/plain","file_id":7,)"
        R"("upload":{"file_url":"file:///nowhere/a.txt","parent_id":1,"file_name":"a.txt","created_date":100,)"
        R"("last_modified_date":200,"mime_type":"text/plain","number_of_bytes":3,)"
        R"("file_hash":"0beec7b5ea3f0fdbc95d0dd47f3c5bc275da8a33","last_attempt_failed":false}})");
    EXPECT_EQ(bodyOf(CreatePrivateShareRequest { 7, "Hallo", { "b@example.org", "a@example.org" } }),
        R"({"type":"private","file_id":7,"message":"Hallo","share_with":["b@example.org","a@example.org"]})");
    EXPECT_EQ(bodyOf(CreatePublicShareRequest(7, ShareLifetime::short_)), R"({"type":"public","file_id":7,"valid_to":7})");
    EXPECT_EQ(bodyOf(UpdatePublicShareDurationRequest(3, ShareLifetime::long_)), R"({"share_id":3,"valid_to":30})");
    EXPECT_EQ(bodyOf(AcceptPendingShareRequest(3)), R"({"share_id":3})");
    EXPECT_EQ(bodyOf(DeclinePendingShareRequest { 3 }), R"({"share_id":3})");
    EXPECT_EQ(bodyOf(LoginRequest::make({ "anna@example.org", "geheim" }, WorldID::talvern)),
        R"({"world":"2","login":"anna@example.org","password":"geheim"})");
    APIErrorReportRequest report({}, {}, std::string("anna@example.org"));
    EXPECT_EQ(bodyOf(report),
        R"({"is_public":false,"component":)" + quoted(report.component) + R"(,"platform":)" + quoted(report.platform)
            + R"(,"facility":"MobileApps","version":)" + quoted(report.version)
            + R"(,"account":"anna@example.org","code":)" + std::to_string(report.code) + R"(,"message":)"
            + quoted(report.message) + R"(,"secret":)" + quoted(report.secret) + "}");
}
