// The catalogue of the file requests, checked at compile time: how each one travels, where its
// body comes from, whether it renews a session, which completion hook it gets, what it delivers,
// whether it suits a slow connection and which headers it adds; misspelt overrides do not compile.

#include "Quarlink/Downloads/FileDownloadRequest.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/Requests/AnyRequest.hpp"
#include "Quarlink/Requests/Perform.hpp"
#include "Quarlink/Uploads/UploadRequests.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

namespace {

enum class Hook { quota, report };

template<class R>
constexpr Hook hookOf()
{
    return requestTraits<R>().enveloped ? Hook::quota : Hook::report;
}

template<class R>
constexpr bool lowBandwidth()
{
    if constexpr (Overrides<R, RequestMember::isEligibleForLowBandWidthConnections>)
        return false;
    else
        return taskKindOf<R> == TaskKind::data;
}

// One catalogue row.
template<class R, TaskKind task, BodyKind body, Hook hook, class Success, bool eligible, bool customHeaders>
constexpr bool row()
{
    static_assert(checkServiceRequest<R>());
    static_assert(ServiceRequest<R>);
    static_assert(taskKindOf<R> == task);
    static_assert(requestTraits<R>().body == body);
    static_assert(requestTraits<R>().needsAuthentication);
    static_assert(requestTraits<R>().reportsFailures);
    static_assert(hookOf<R>() == hook);
    static_assert(std::is_same_v<typename R::SuccessValue, Success>);
    static_assert(lowBandwidth<R>() == eligible);
    static_assert(Overrides<R, RequestMember::customHeaders> == customHeaders);
    return true;
}

using Files = CloudMetaPackage<std::vector<File>>;
constexpr auto data = TaskKind::data;
constexpr auto none = BodyKind::none;

static_assert(row<FileListRequest, data, none, Hook::quota, Files, true, false>());
static_assert(row<RecursiveFileListRequest, data, none, Hook::quota, Files, true, false>());
static_assert(row<DocumentsRequest, data, none, Hook::quota, Files, true, false>());
static_assert(row<PhotosRequest, data, none, Hook::quota, Files, true, false>());
static_assert(row<PhotoIDsRequest, data, none, Hook::quota, CloudMetaPackage<std::vector<std::int64_t>>, true, false>());
static_assert(row<MusicRequest, data, none, Hook::quota, Files, true, false>());
static_assert(row<SharedFilesRequest, data, none, Hook::quota, Files, true, false>());
static_assert(row<RecentFilesRequest, data, none, Hook::quota, Files, true, false>());
static_assert(row<FilesDeltaRequest, data, none, Hook::quota, Files, true, false>());
static_assert(row<FileSearchRequest, data, none, Hook::quota, Files, true, false>());
static_assert(row<FilesGetterRequest, data, BodyKind::ownJSON, Hook::quota, Files, true, false>());
static_assert(row<GetFileRequest, data, none, Hook::quota, CloudMetaPackage<File>, true, false>());
static_assert(row<EtagRequest, data, none, Hook::quota, CloudMetaPackage<EtagResponse>, true, false>());
static_assert(row<CreateFolderRequest, data, BodyKind::payloadJSON, Hook::quota, CloudMetaPackage<File>, true, false>());
static_assert(row<RenameFileRequest, data, BodyKind::ownJSON, Hook::quota, CloudMetaPackage<File>, true, false>());
static_assert(row<FileMoveRequest, data, BodyKind::ownJSON, Hook::quota, CloudMetaPackage<MoveBatchPackage>, true, false>());
static_assert(row<FileDeleteRequest, data, BodyKind::ownJSON, Hook::quota, CloudMetaPackage<DeleteBatchPackage>, true, false>());
// Eligible like every data request that parses its body.
static_assert(row<FileUploadInitRequest, data, BodyKind::payloadJSON, Hook::report, UploadInitResult, true, false>());
static_assert(row<FileUploadRequest, TaskKind::upload, BodyKind::ownJSON, Hook::quota, CloudMetaPackage<File>, false, true>());
static_assert(row<FileDownloadRequest, TaskKind::download, none, Hook::report, ProgressEvent<Platform::URL>, false, true>());

// Own parsing only where the catalogue says so.
static_assert(Overrides<FilesDeltaRequest, RequestMember::parse>);
static_assert(Overrides<FileUploadInitRequest, RequestMember::parse>);
static_assert(!Overrides<FileListRequest, RequestMember::parse>);
static_assert(Overrides<FileUploadRequest, RequestMember::contentType>);
static_assert(!Overrides<FileDownloadRequest, RequestMember::contentType>);

// The batched getter runs no pipeline of its own: it is no service request, yet a listing.
static_assert(!ServiceRequest<BatchFilesGetterRequest>);
static_assert(std::is_same_v<BatchFilesGetterRequest::SuccessValue, Files>);

// The listings of files share one interface; the identifier list and the search do not.
static_assert(DeltaRequestReplacable<FileListRequest>);
static_assert(DeltaRequestReplacable<RecursiveFileListRequest>);
static_assert(DeltaRequestReplacable<DocumentsRequest>);
static_assert(DeltaRequestReplacable<PhotosRequest>);
static_assert(DeltaRequestReplacable<MusicRequest>);
static_assert(DeltaRequestReplacable<SharedFilesRequest>);
static_assert(DeltaRequestReplacable<RecentFilesRequest>);
static_assert(DeltaRequestReplacable<FilesDeltaRequest>);
static_assert(DeltaRequestReplacable<FilesGetterRequest>);
static_assert(DeltaRequestReplacable<BatchFilesGetterRequest>);
static_assert(!DeltaRequestReplacable<PhotoIDsRequest>);
static_assert(!DeltaRequestReplacable<FileSearchRequest>);

// No-compile cases: a listed override spelt wrongly, or declared without being listed, is refused.
struct MisspeltQueryItems {
    using SuccessValue = Files;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true, .overrides = { RequestMember::queryItems } };
    std::string path() const { return "files"; }
    std::vector<URLQueryItem> queryItem() const { return { { "depth", "-1" } }; }
};
static_assert(!ServiceRequest<MisspeltQueryItems>);

struct UnlistedCustomHeaders {
    using SuccessValue = ProgressEvent<Platform::URL>;
    static constexpr RequestTraits traits { .taskKind = TaskKind::download, .needsAuthentication = true };
    std::string path() const { return "files/1/download"; }
    std::optional<Platform::URL> destinationURL() const { return std::nullopt; }
    bool shouldOverwrite() const { return true; }
    HTTPHeaderFields customHeaders() const { return { { "Accept-Encoding", "deflate" } }; }
};
static_assert(!ServiceRequest<UnlistedCustomHeaders>);

struct MistypedParse {
    using SuccessValue = Files;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true, .overrides = { RequestMember::parse } };
    std::string path() const { return "files/delta"; }
    Files parse(const DataResponse&) const { return Files(std::nullopt, {}); }
};
static_assert(!ServiceRequest<MistypedParse>);

struct UploadWithoutContentType {
    using SuccessValue = CloudMetaPackage<File>;
    static constexpr RequestTraits traits { .taskKind = TaskKind::upload, .needsAuthentication = true, .enveloped = true,
        .overrides = { RequestMember::contentType } };
    std::string path() const { return "files/1/stream"; }
    Platform::URL fileURL() const { return Platform::URL::fileURL("/tmp/a"); }
    std::string contentTyp() const { return "text/plain"; }
};
static_assert(!ServiceRequest<UploadWithoutContentType>);

} // namespace

TEST(FileRequestCatalogue, eligibilityAtRunTime)
{
    // The run-time answer a request filter reads agrees with the catalogue.
    EXPECT_TRUE(requestIsEligibleForLowBandWidthConnections(FileUploadInitRequest(Upload { .fileURL = Platform::URL::fileURL("/a") })));
    EXPECT_TRUE(requestIsEligibleForLowBandWidthConnections(RecursiveFileListRequest {}));
    EXPECT_FALSE(requestIsEligibleForLowBandWidthConnections(FileDownloadRequest { 1, "a", std::nullopt, std::nullopt }));
    EXPECT_FALSE(requestIsEligibleForLowBandWidthConnections(FileUploadRequest(Upload { .fileURL = Platform::URL::fileURL("/a") }, 1)));
}
