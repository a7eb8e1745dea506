// The answers to batch deletes and moves, and the etag answer, decoded from their envelopes.

#include "Quarlink/Files/DeleteBatchPackage.hpp"
#include "Quarlink/Files/EtagResponse.hpp"
#include "Quarlink/Files/MoveBatchPackage.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"
#include "Quarlink/Tests/DecodeTable.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

JSON fileObject(std::int64_t identifier)
{
    return JSON { { "id", identifier }, { "parent_file_id", 1 }, { "path", "/a" }, { "name", "a" }, { "has_private_shares", false },
        { "has_public_shares", false }, { "is_share_allowed_private", true }, { "is_share_allowed_public", true },
        { "share_with", 0 }, { "created", 1 }, { "modified", 2 }, { "mime_type", "text/plain" }, { "file_size", 3 },
        { "file_hash", "" }, { "etag", "e" } };
}

} // namespace

TEST(DeleteBatchPackage, successesAndErrors)
{
    // Identifiers become a set; each error entry becomes the RemoteError its JSON form gives.
    auto package = JSONDecoder::makeDefault().decode<CloudMetaPackage<DeleteBatchPackage>>(
        R"({"data":{"success":[1,2,2],"errors":[{"code":5004},{"code":9999,"message":"kaputt"},{}]},"meta":{"quota":{"used":1,"total":2}}})");
    ASSERT_TRUE(package) << package.error().description();
    EXPECT_EQ(package->payload().deletedFileIDs, (std::set<std::int64_t> { 1, 2 }));
    ASSERT_EQ(package->payload().errors.size(), 3u);
    EXPECT_EQ(package->payload().errors[0], RemoteError(RemoteError::Case::fileNotFound));
    EXPECT_EQ(package->payload().errors[1], RemoteError::batchRequestFailed(9999, "kaputt"));
    EXPECT_EQ(package->payload().errors[2], RemoteError::batchRequestFailed(-1, "Keine Nachricht gesetzt"));
    EXPECT_EQ(package->quota(), (Quota { 1, 2 }));

    auto clean = decodeJSON<DeleteBatchPackage>(JSON::parse(R"({"success":[1,2],"errors":[]})"));
    ASSERT_TRUE(clean);
    EXPECT_EQ(clean->deletedFileIDs, (std::set<std::int64_t> { 1, 2 }));
    EXPECT_TRUE(clean->errors.empty());
    EXPECT_EQ(DeleteBatchPackage({ 3, 3, 1 }, {}).deletedFileIDs, (std::set<std::int64_t> { 1, 3 }));
}

TEST(DeleteBatchPackage, decodeTable)
{
    // Both keys required arrays; one bad element fails the package.
    auto valid = JSON::parse(R"({"success":[1],"errors":[{"code":1}]})");
    expectRequiredKeys<DeleteBatchPackage>(valid, { { "success", JSONKind::array }, { "errors", JSONKind::array } });
    expectUnknownKeysIgnored<DeleteBatchPackage>(valid);
    auto badIdentifier = valid;
    badIdentifier["success"] = JSON::array({ 1, "2" });
    EXPECT_EQ(decodeJSON<DeleteBatchPackage>(badIdentifier).error().codingPathString(), "success.Index 1");
    auto badError = valid;
    badError["errors"] = JSON::array({ JSON { { "code", "5004" } } });
    EXPECT_EQ(decodeJSON<DeleteBatchPackage>(badError).error().codingPathString(), "errors.Index 0.code");
}

TEST(MoveBatchPackage, movedFilesAndFailures)
{
    // Moved files as records, failures as identifiers; both empty is valid; one bad file fails all.
    JSON valid { { "success", JSON::array({ fileObject(4), fileObject(5) }) }, { "errors", JSON::array({ 7 }) } };
    auto package = decodeJSON<MoveBatchPackage>(valid);
    ASSERT_TRUE(package);
    EXPECT_EQ(fileIDs(package->movedFiles), (std::vector<std::int64_t> { 4, 5 }));
    EXPECT_EQ(package->failedFileIDs, (std::vector<std::int64_t> { 7 }));

    auto onlyFailures = decodeJSON<MoveBatchPackage>(JSON::parse(R"({"success":[],"errors":[7]})"));
    ASSERT_TRUE(onlyFailures);
    EXPECT_TRUE(onlyFailures->movedFiles.empty());
    EXPECT_EQ(onlyFailures->failedFileIDs, (std::vector<std::int64_t> { 7 }));

    expectRequiredKeys<MoveBatchPackage>(valid, { { "success", JSONKind::array }, { "errors", JSONKind::array } });
    valid["success"][1].erase("etag");
    EXPECT_EQ(decodeJSON<MoveBatchPackage>(valid).error().codingPathString(), "success.Index 1.etag");
}

TEST(EtagResponse, keepsIdentifierAndEtag)
{
    // A whole file object gives only "id" and "etag"; both are required; equality and hash over both.
    auto package = decodeJSON<CloudMetaPackage<EtagResponse>>(JSON { { "data", fileObject(7) } });
    ASSERT_TRUE(package);
    EXPECT_EQ(package->payload(), (EtagResponse { 7, "e" }));
    EXPECT_EQ(package->payload().debugDescription(), "Etag(fileID: 7, etag: e)");
    expectRequiredKeys<EtagResponse>(fileObject(7), { { "id", JSONKind::integer }, { "etag", JSONKind::string } });
    EXPECT_EQ(EtagResponse::CodingKeys(EtagResponse::CodingKeys::Case::fileID).stringValue(), "id");
    std::unordered_set<EtagResponse> set { { 1, "a" }, { 1, "a" }, { 1, "b" }, { 2, "a" } };
    EXPECT_EQ(set.size(), 3u);
}
