// The file requests as they go on the wire (method, path, query in order, headers, JSON body),
// their own parse steps, the HTTP-date reader, the generic description and batch splitting.

#include "Quarlink/Downloads/FileDownloadRequest.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/Requests/RequestInfos.hpp"
#include "Quarlink/Uploads/UploadRequests.hpp"
#include "Quarlink/Coding/JSONDecoder.hpp"

#include <gtest/gtest.h>

#include <clocale>

using namespace Quarlink;

namespace {

const Platform::URL base = *Platform::URL::create("http://127.0.0.1:9/v2.0");

template<class R>
Platform::URLRequest wire(const R& request)
{
    return makeURLRequest(request, base);
}

JSON bodyOf(const Platform::URLRequest& request)
{
    return JSON::parse(request.body);
}

Upload record(std::int64_t parent, std::string name)
{
    return Upload { .fileURL = Platform::URL::fileURL("/tmp/" + name), .parentID = parent, .fileName = name,
        .createdDate = Platform::Date::fromSecondsSince1970(1.9), .lastModifiedDate = Platform::Date::fromSecondsSince1970(-0.5),
        .mimeType = "text/plain", .numberOfBytes = 3, .fileHash = "a9993e364706816aba3e25717850c26c9cd0d89d", .lastAttemptFailed = false };
}

DataResponse response(std::string body, HTTPURLResponse::HeaderFields headers = {})
{
    return DataResponse { Platform::Data::fromString(body), HTTPURLResponse(base, 200, std::move(headers)) };
}

const char* fileJSON = R"({"id":42,"parent_file_id":7,"path":"/a.txt","name":"a.txt","has_private_shares":false,
    "has_public_shares":false,"is_share_allowed_private":true,"is_share_allowed_public":true,"share_with":0,
    "created":1,"modified":2,"mime_type":"text/plain","file_size":3,"file_hash":"","etag":"e"})";

} // namespace

TEST(FileRequests, listingsOnTheWire)
{
    // GET with the query items in order, no body and "text/plain"; "fileId" only with a folder, 0 included.
    auto folder = wire(FileListRequest { 0 });
    EXPECT_EQ(folder.method, "GET");
    EXPECT_EQ(folder.url, "http://127.0.0.1:9/v2.0/files?fileId=0");
    EXPECT_EQ(folder.headers.value("Content-Type"), "text/plain");
    EXPECT_TRUE(folder.body.empty());
    EXPECT_EQ(wire(FileListRequest { -5 }).url, "http://127.0.0.1:9/v2.0/files?fileId=-5");
    EXPECT_EQ(wire(FileListRequest {}).url, "http://127.0.0.1:9/v2.0/files");
    EXPECT_EQ(wire(RecursiveFileListRequest {}).url, "http://127.0.0.1:9/v2.0/files?depth=-1");
    EXPECT_EQ(wire(DocumentsRequest {}).url, "http://127.0.0.1:9/v2.0/files/documents");
    EXPECT_EQ(wire(PhotosRequest {}).url, "http://127.0.0.1:9/v2.0/files/photos");
    EXPECT_EQ(wire(PhotoIDsRequest {}).url, "http://127.0.0.1:9/v2.0/files/photos/ids");
    EXPECT_EQ(wire(MusicRequest {}).url, "http://127.0.0.1:9/v2.0/files/music");
    EXPECT_EQ(wire(SharedFilesRequest {}).url, "http://127.0.0.1:9/v2.0/shares/files");
    EXPECT_EQ(wire(RecentFilesRequest {}).url, "http://127.0.0.1:9/v2.0/files/recents");
    EXPECT_EQ(wire(GetFileRequest { 7 }).url, "http://127.0.0.1:9/v2.0/files/7");
    EXPECT_EQ(wire(EtagRequest { -7 }).url, "http://127.0.0.1:9/v2.0/files/-7");
}

TEST(FileRequests, deltaAndSearchQueries)
{
    // "last_sync" is cut toward zero; the search sends "path", "count", "query" in this order, "/" without a folder.
    EXPECT_EQ(wire(FilesDeltaRequest { 99.9 }).url, "http://127.0.0.1:9/v2.0/files/delta?last_sync=99");
    EXPECT_EQ(wire(FilesDeltaRequest { -0.5 }).url, "http://127.0.0.1:9/v2.0/files/delta?last_sync=0");
    EXPECT_EQ(wire(FilesDeltaRequest { -99.9 }).url, "http://127.0.0.1:9/v2.0/files/delta?last_sync=-99");
    EXPECT_EQ(wire(FilesDeltaRequest::withLastDate(Platform::Date::fromSecondsSince1970(99.9))).url,
        "http://127.0.0.1:9/v2.0/files/delta?last_sync=99");
    auto search = wire(FileSearchRequest { "Bericht 2024", std::nullopt, 50 });
    EXPECT_EQ(search.url, "http://127.0.0.1:9/v2.0/files/search?path=/&count=50&query=Bericht%202024");
    auto queryItems = Platform::URL::create(search.url)->queryItems();
    ASSERT_EQ(queryItems.size(), 3u);
    EXPECT_EQ(queryItems[0].name, "path");
    EXPECT_EQ(queryItems[1].name, "count");
    EXPECT_EQ(queryItems[2].name, "query");
    auto inFolder = Platform::URL::create(wire(FileSearchRequest { "", "/Docs/\xC3\x84", 5 }).url)->queryItems();
    EXPECT_EQ(inFolder[0].value, "/Docs/\xC3\x84");
    EXPECT_EQ(inFolder[2].value, "");

    EXPECT_TRUE((FilesDeltaRequest { 1e18 }).isValid());
    for (double bad : { std::nan(""), HUGE_VAL, -HUGE_VAL, 9.3e18, -9.3e18 })
        EXPECT_FALSE((FilesDeltaRequest { bad }).isValid()) << bad;
}

TEST(FileRequests, bodiesOnTheWire)
{
    // POST/PUT with "application/json" and snake-cased keys; an absent parent leaves "file_id" out (never null).
    auto getter = wire(FilesGetterRequest { { 3, 1, 3 } });
    EXPECT_EQ(getter.method, "POST");
    EXPECT_EQ(getter.headers.value("Content-Type"), "application/json");
    EXPECT_EQ(bodyOf(getter), JSON::parse(R"({"file_ids":[3,1,3]})"));
    EXPECT_EQ(bodyOf(wire(FilesGetterRequest {})), JSON::parse(R"({"file_ids":[]})"));

    auto folder = wire(CreateFolderRequest("Neu \xC3\xBC"));
    EXPECT_EQ(folder.url, "http://127.0.0.1:9/v2.0/files/folders");
    EXPECT_EQ(folder.method, "POST");
    EXPECT_EQ(bodyOf(folder), JSON::parse(R"({"folder_name":"Neu )" "\xC3\xBC" R"("})"));
    EXPECT_EQ(bodyOf(wire(CreateFolderRequest("A", 0))), JSON::parse(R"({"folder_name":"A","file_id":0})"));

    auto rename = wire(RenameFileRequest { "b.txt", 42 });
    EXPECT_EQ(rename.method, "PUT");
    EXPECT_EQ(rename.url, "http://127.0.0.1:9/v2.0/files/42");
    EXPECT_EQ(bodyOf(rename), JSON::parse(R"({"new_name":"b.txt","file_id":42})"));

    auto remove = wire(FileDeleteRequest { {} });
    EXPECT_EQ(remove.url, "http://127.0.0.1:9/v2.0/files/deleter");
    EXPECT_EQ(bodyOf(remove), JSON::parse(R"({"file_ids":[]})"));
    auto move = wire(FileMoveRequest { { 1, 2 }, 9 });
    EXPECT_EQ(move.url, "http://127.0.0.1:9/v2.0/files/mover");
    EXPECT_EQ(bodyOf(move), JSON::parse(R"({"file_ids":[1,2],"destination_folder_id":9})"));
}

TEST(FileRequests, uploadRequestsOnTheWire)
{
    // The announcement carries whole seconds cut toward zero; the transfer its hash header and the record's type.
    auto announcement = wire(FileUploadInitRequest(record(7, "a.txt")));
    EXPECT_EQ(announcement.method, "POST");
    EXPECT_EQ(announcement.url, "http://127.0.0.1:9/v2.0/files/init");
    EXPECT_EQ(bodyOf(announcement), JSON::parse(R"({"parent_file_id":7,"name":"a.txt","mime_type":"text/plain","created":1,
        "modified":0,"hash":"a9993e364706816aba3e25717850c26c9cd0d89d","file_size":3})"));

    FileUploadRequest transfer(record(7, "a.txt"), 42);
    auto stream = wire(transfer);
    EXPECT_EQ(stream.method, "PUT");
    EXPECT_EQ(stream.url, "http://127.0.0.1:9/v2.0/files/42/stream");
    EXPECT_EQ(stream.headers.value("Request-Hash"), record(7, "a.txt").requestHash());
    EXPECT_EQ(stream.headers.value("Content-Type"), "text/plain");
    EXPECT_EQ(transfer.debugDescription(), "FileUploadRequest(a.txt)");
    EXPECT_EQ(transfer.fileURL(), Platform::URL::fileURL("/tmp/a.txt"));
}

TEST(FileRequests, uploadRequestKeepsItsOwnJSON)
{
    // Six keys with the method as 2; reading back ignores "method" (missing or another value) and keeps PUT.
    FileUploadRequest transfer(record(7, "a.txt"), 42);
    JSONEncoder encoder;
    encoder.setKeyEncodingStrategy(KeyEncodingStrategy::convertToSnakeCase);
    auto json = encoder.encodeToJSON(transfer);
    ASSERT_TRUE(json);
    EXPECT_EQ((*json)["method"], 2);
    EXPECT_EQ((*json)["path"], "files/42/stream");
    EXPECT_EQ((*json)["file_id"], 42);
    EXPECT_TRUE((*json)["upload"].contains("file_url"));

    auto plain = JSONEncoder().encodeToJSON(transfer);
    ASSERT_TRUE(plain);
    for (const JSON& method : { JSON(0), JSON("x"), JSON(nullptr) }) {
        auto changed = *plain;
        changed["method"] = method;
        auto decoded = JSONDecoder().decode<FileUploadRequest>(changed.dump());
        ASSERT_TRUE(decoded) << decoded.error().description();
        EXPECT_EQ(decoded->method(), HTTPMethod::put);
        EXPECT_EQ(decoded->path(), "files/42/stream");
        EXPECT_EQ(decoded->fileID(), 42);
        EXPECT_EQ(decoded->upload().requestHash(), transfer.upload().requestHash());
        EXPECT_EQ(decoded->fileURL(), transfer.fileURL());
        EXPECT_EQ(decoded->contentType(), "text/plain");
    }
    auto withoutMethod = *plain;
    withoutMethod.erase("method");
    EXPECT_TRUE(JSONDecoder().decode<FileUploadRequest>(withoutMethod.dump()));
    for (const char* key : { "path", "fileURL", "contentType", "fileID", "upload" }) {
        auto missing = *plain;
        missing.erase(key);
        EXPECT_FALSE(JSONDecoder().decode<FileUploadRequest>(missing.dump())) << key;
    }
}

TEST(FileRequests, announcementAnswers)
{
    // "upload" counts by presence alone; without it the "data" file is the result; no "data" fails.
    FileUploadInitRequest announcement(record(7, "a.txt"));
    for (const char* value : { "true", "false", "null", "{}" }) {
        auto parsed = announcement.parse(response(std::string(R"({"upload":)") + value + R"(,"data":)" + fileJSON + "}"));
        ASSERT_TRUE(parsed) << value;
        EXPECT_TRUE(parsed->needsUpload()) << value;
        EXPECT_EQ(parsed->fileID(), 42);
        EXPECT_EQ(*parsed->record(), record(7, "a.txt"));
    }
    auto exists = announcement.parse(response(std::string(R"({"data":)") + fileJSON + "}"));
    ASSERT_TRUE(exists);
    EXPECT_FALSE(exists->needsUpload());
    EXPECT_EQ(exists->existingFile()->etag(), "e");
    EXPECT_EQ(exists->fileID(), 42);
    EXPECT_FALSE(announcement.parse(response(R"({"upload":true})")));
    EXPECT_FALSE(announcement.parse(response(R"({"upload":true,"data":{"id":1}})")));
}

TEST(FileRequests, deltaAnswerCarriesTheServerTime)
{
    // The "Date" header, found in any letter case, stamps envelopes with metadata; none without "meta" or a date.
    FilesDeltaRequest delta { 0 };
    auto stamped = delta.parse(response(R"({"data":[],"meta":{}})", { { "date", "Wed, 09 Dec 2026 10:29:25 GMT" } }));
    ASSERT_TRUE(stamped);
    EXPECT_EQ(stamped->deltaUpdateDate(), Platform::Date::fromWholeSecondsSince1970(1'796'812'165));
    auto bare = delta.parse(response(R"({"data":[]})", { { "Date", "Wed, 09 Dec 2026 10:29:25 GMT" } }));
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->metaData().has_value());
    auto garbled = delta.parse(response(R"({"data":[],"meta":{}})", { { "Date", "gestern" } }));
    ASSERT_TRUE(garbled);
    EXPECT_TRUE(garbled->metaData().has_value());
    EXPECT_FALSE(garbled->deltaUpdateDate().has_value());
    EXPECT_FALSE(delta.parse(response(R"({"meta":{}})", { { "Date", "Wed, 09 Dec 2026 10:29:25 GMT" } })));
}

TEST(FileRequests, httpDatesUnderEveryLocale)
{
    // The preferred HTTP form in any letter case, the same under a German locale; impossible dates are none.
    std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(parseHTTPDate("Thu, 01 Jan 1970 00:00:00 GMT"), Platform::Date::fromWholeSecondsSince1970(0));
    EXPECT_EQ(parseHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT"), Platform::Date::fromWholeSecondsSince1970(784'111'777));
    EXPECT_EQ(parseHTTPDate("sun, 06 nov 1994 08:49:37 utc"), Platform::Date::fromWholeSecondsSince1970(784'111'777));
    EXPECT_EQ(parseHTTPDate("Thu, 29 Feb 2024 23:59:59 GMT"), Platform::Date::fromWholeSecondsSince1970(1'709'251'199));
    EXPECT_EQ(parseHTTPDate("Wed, 31 Dec 1969 23:59:59 GMT"), Platform::Date::fromWholeSecondsSince1970(-1));
    for (const char* bad : { "", "Sun, 06 Nov 1994 08:49:37", "Sun, 06 Nov 1994 08:49:37 CET", "Sunday, 06-Nov-94 08:49:37 GMT",
             "Sun Nov  6 08:49:37 1994", "Fri, 29 Feb 2023 00:00:00 GMT", "Sun, 06 Noe 1994 08:49:37 GMT", "Sun, 06 Nov 1994 24:00:00 GMT",
             "Son, 06 Nov 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 GMT ", "Sun, 6 Nov 94 08:49:37 GMT" })
        EXPECT_FALSE(parseHTTPDate(bad).has_value()) << bad;
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(FileRequests, descriptionsAndIdentifiers)
{
    // Own descriptions where the listing has one, else the generic one, with doubles always showing a decimal point.
    EXPECT_EQ(FileListRequest {}.debugDescription(), "FileListRequest(folderID: -1)");
    EXPECT_EQ(FileListRequest { 7 }.deltaIdentifier(), FileListRequest { 7 }.deltaIdentifier());
    EXPECT_EQ(FileListRequest { 7 }.deltaIdentifier(), "FileListRequest(folderID: 7)");
    EXPECT_EQ(DocumentsRequest {}.deltaIdentifier(), "DocumentsRequest");
    EXPECT_EQ(MusicRequest {}.deltaIdentifier(), "MusicRequest");
    EXPECT_EQ(RecursiveFileListRequest {}.deltaIdentifier(), "RecursiveFileListRequest()");
    EXPECT_EQ(PhotosRequest {}.deltaIdentifier(), "PhotosRequest(path: \"files/photos\")");
    EXPECT_EQ(SharedFilesRequest {}.deltaIdentifier(), "SharedFilesRequest(path: \"shares/files\")");
    EXPECT_EQ(RecentFilesRequest {}.deltaIdentifier(), "RecentFilesRequest()");
    EXPECT_EQ((FilesGetterRequest { { 1, 2 } }).deltaIdentifier(), "FilesGetterRequest(fileIDs: [1, 2])");
    EXPECT_EQ((BatchFilesGetterRequest { 3, { 1 } }).deltaIdentifier(), "BatchFilesGetterRequest(batchSize: 3, fileIDs: [1])");
    std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(FilesDeltaRequest { 99.9 }.deltaIdentifier(), "FilesDeltaRequest(path: \"files/delta\", lastTimeStamp: 99.9)");
    EXPECT_EQ(FilesDeltaRequest { 100 }.deltaIdentifier(), "FilesDeltaRequest(path: \"files/delta\", lastTimeStamp: 100.0)");
    EXPECT_EQ(describedDouble(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(describedDouble(-0.0), "-0.0");
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(FileRequests, downloadRequest)
{
    // The identifier is a folder level of its own; no folder means no destination; deflate is asked for.
    auto request = FileDownloadRequest { 4711, "a.txt", std::nullopt, Platform::URL::fileURL("/F") };
    EXPECT_EQ(request.destinationURL()->path(), "/F/4711/a.txt");
    EXPECT_TRUE(request.shouldOverwrite());
    EXPECT_EQ(request.expectedSize(), std::nullopt);
    EXPECT_EQ(request.debugDescription(), "FileDownloadRequest(a.txt)");
    auto sent = wire(request);
    EXPECT_EQ(sent.url, "http://127.0.0.1:9/v2.0/files/4711/download");
    EXPECT_EQ(sent.headers.value("Accept-Encoding"), "deflate");
    EXPECT_EQ(sent.headers.value("Content-Type"), "text/plain");
    EXPECT_FALSE((FileDownloadRequest { 1, "a", 5, std::nullopt }).destinationURL().has_value());
    auto fromFile = FileDownloadRequest::make(File({ .fileID = 3, .fileName = "b", .numberOfBytes = 9 }));
    EXPECT_EQ(fromFile.expectedSize(), 9);
}

TEST(FileRequests, batchesSplitInOrder)
{
    // 7 identifiers by 3 give 3, 3 and 1; 6 give two slices; nothing or a size below 1 gives none.
    EXPECT_EQ(split({ 1, 2, 3, 4, 5, 6, 7 }, 3), (std::vector<std::vector<std::int64_t>> { { 1, 2, 3 }, { 4, 5, 6 }, { 7 } }));
    EXPECT_EQ(split({ 1, 2, 3, 4, 5, 6 }, 3).size(), 2u);
    EXPECT_TRUE(split({}, 3).empty());
    EXPECT_TRUE(split({ 1, 2 }, -1).empty());
    EXPECT_EQ(split({ 1, 2 }, 5), (std::vector<std::vector<std::int64_t>> { { 1, 2 } }));
}
