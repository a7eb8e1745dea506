#include "LocalCloud/Storage/ServiceDatabase.hpp"
#include "LocalCloud/Tests/FileServiceTestSupport.hpp"
#include "Platform/Database/Database.hpp"

#include <zlib.h>

#include <ctime>
#include <map>
#include <set>
#include <thread>

using namespace LocalCloud;
using namespace LocalCloud::Testing;

namespace {

using FileServiceTests = FileServiceFixture;

std::string inflated(const std::string& compressed)
{
    z_stream stream {};
    inflateInit(&stream);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::string out;
    int result = Z_OK;
    while (result == Z_OK) {
        char buffer[65536];
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : "not a zlib stream";
}

std::string randomContent(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string content(size, '\0');
    // Compressible, but not trivially: words from a small alphabet.
    for (auto& byte : content)
        byte = static_cast<char>('a' + generator() % 8);
    return content;
}

std::int64_t idOf(const nlohmann::json& file)
{
    return file.value("id", std::int64_t { -1 });
}

} // namespace

TEST_F(FileServiceTests, EveryFileRouteNeedsASessionAndUnknownRoutesHaveACodeOfTheirOwn)
{
    // Proves routes answer 401/3001 without a session, an unknown route 404 with a code outside the client's table, and every answer carries a Date.
    ServiceClient anonymous(m_server->port());
    for (const char* path : { "files", "files/1", "files/1/download", "files/recents", "shares/files" }) {
        auto answer = anonymous.get(path);
        EXPECT_EQ(answer.status, 401) << path;
        EXPECT_EQ(answer.errorCode(), "3001") << path;
        EXPECT_EQ(answer.json().value("code", 0), 3001) << path;
    }
    auto upload = anonymous.call("PUT", "files/1/stream", "bytes", "text/plain");
    EXPECT_EQ(upload.status, 401);

    auto unknown = m_client->get("files/1/unknown");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(unknown.errorCode(), std::to_string(ServiceErrors::unknownRouteCode));
    EXPECT_NE(unknown.errorCode(), "404");
    EXPECT_NE(unknown.errorCode(), "5004");
    EXPECT_FALSE(unknown.header("Date").empty());

    m_server->setFixedDate(std::chrono::system_clock::from_time_t(784111777));
    auto dated = m_client->get("files", { { "Accept-Encoding", "gzip, br" } });
    EXPECT_EQ(dated.header("Date"), "Sun, 06 Nov 1994 08:49:37 GMT");
    // JSON goes out as it is, even to a client that would take gzip.
    EXPECT_EQ(dated.header("Content-Encoding"), "");
    EXPECT_TRUE(dated.json().is_object());
}

TEST_F(FileServiceTests, FoldersListingsAndLookupsDescribeTheTree)
{
    // Proves folder creation, listings by folder and recursively, the getter, search, categories and shares list answer with paths, quota and the file fields.
    auto documents = m_client->createFolder(m_rootID, "Dokumente");
    ASSERT_EQ(documents.value("path", ""), "/Dokumente/");
    EXPECT_EQ(documents.value("mime_type", ""), "httpd/unix-directory");
    EXPECT_EQ(documents.value("parent_file_id", 0), m_rootID);
    auto nested = m_client->createFolder(idOf(documents), "Brief");
    EXPECT_EQ(nested.value("path", ""), "/Dokumente/Brief/");
    auto note = m_client->upload(idOf(nested), "Notiz.txt", "Hallo");
    EXPECT_EQ(note.value("path", ""), "/Dokumente/Brief/Notiz.txt");
    EXPECT_EQ(note.value("file_size", 0), 5);
    EXPECT_EQ(note.value("file_hash", ""), ServiceClient::sha1("Hallo"));
    for (const char* key : { "has_private_shares", "has_public_shares", "is_share_allowed_private",
             "is_share_allowed_public", "share_with", "created", "modified", "etag" })
        EXPECT_TRUE(note.contains(key)) << key;
    EXPECT_EQ(note.value("created", 0), 100);
    EXPECT_EQ(note.value("modified", 0), 200);
    auto picture = m_client->upload(m_rootID, "Bild.png", "png bytes");

    auto top = m_client->get("files");
    ASSERT_EQ(top.status, 200);
    EXPECT_EQ(top.data().size(), 2u);
    auto meta = top.json()["meta"]["quota"];
    EXPECT_EQ(meta.value("used", 0), 14);
    EXPECT_EQ(meta.value("total", std::int64_t { 0 }), defaultQuotaBytes);
    EXPECT_EQ(m_client->get("files?fileId=" + std::to_string(idOf(documents))).data().size(), 1u);
    EXPECT_EQ(m_client->everything().size(), 4u);
    EXPECT_EQ(m_client->get("files?fileId=" + std::to_string(idOf(note))).errorCode(), "5047");
    EXPECT_EQ(m_client->get("files?fileId=999999").errorCode(), "5004");

    auto root = m_client->file(m_rootID);
    EXPECT_EQ(root.value("path", ""), "/");
    EXPECT_EQ(m_client->get("files/999999").status, 404);

    auto getter = m_client->post("files/getter", { { "file_ids", { idOf(note), 999999, idOf(picture) } } });
    ASSERT_EQ(getter.data().size(), 2u);
    EXPECT_EQ(idOf(getter.data()[0]), idOf(note));

    auto search = m_client->get("files/search?path=%2FDokumente%2F&count=10&query=notiz");
    ASSERT_EQ(search.data().size(), 1u);
    EXPECT_EQ(idOf(search.data()[0]), idOf(note));
    EXPECT_EQ(m_client->get("files/search?path=%2F&count=0&query=").data().size(), 0u);
    EXPECT_EQ(m_client->get("files/search?path=%2Fmissing%2F&count=5&query=a").errorCode(), "5004");

    EXPECT_EQ(m_client->get("files/documents").data().size(), 1u);
    ASSERT_EQ(m_client->get("files/photos").data().size(), 1u);
    EXPECT_EQ(m_client->get("files/photos/ids").data(), nlohmann::json::array({ idOf(picture) }));
    EXPECT_EQ(m_client->get("files/music").data().size(), 0u);
    EXPECT_EQ(idOf(m_client->get("files/recents").data()[0]), idOf(picture));
    // The four items and the root, which changed with them.
    EXPECT_EQ(m_client->get("files/delta?last_sync=0").data().size(), 5u);
    EXPECT_EQ(m_client->get("files/delta?last_sync=99999999999").data().size(), 0u);

    EXPECT_EQ(m_client->get("shares/files").data().size(), 0u);
    ASSERT_TRUE(m_server->files().setShared("anna", idOf(note), true).has_value());
    auto shared = m_client->get("shares/files").data();
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_TRUE(shared[0].value("has_public_shares", false));

    auto renamed = m_client->put("files/" + std::to_string(idOf(documents)), { { "new_name", "Ablage" }, { "file_id", idOf(documents) } });
    EXPECT_EQ(renamed.data().value("path", ""), "/Ablage/");
    EXPECT_EQ(m_client->file(idOf(note)).value("path", ""), "/Ablage/Brief/Notiz.txt");
}

TEST_F(FileServiceTests, SiblingNamesCompareInPrecomposedForm)
{
    // Proves a folder name in decomposed form collides with its precomposed twin, for folders, renames and announcements.
    auto precomposed = m_client->createFolder(m_rootID, "\xC3\xA9t\xC3\xA9");
    ASSERT_GT(idOf(precomposed), 0);
    auto decomposed = m_client->post("files/folders", { { "folder_name", "e\xCC\x81te\xCC\x81" } });
    EXPECT_EQ(decomposed.status, 409);
    EXPECT_EQ(decomposed.errorCode(), "4014");
    auto other = m_client->createFolder(m_rootID, "andere");
    auto rename = m_client->put("files/" + std::to_string(idOf(other)), { { "new_name", "e\xCC\x81te\xCC\x81" } });
    EXPECT_EQ(rename.errorCode(), "4014");
    EXPECT_EQ(m_client->announce(m_rootID, "e\xCC\x81te\xCC\x81", "x").errorCode(), "4014");
    EXPECT_EQ(m_client->everything().size(), 2u);
}

TEST_F(FileServiceTests, UploadsListOnlyCompleteContentThatMatchesItsAnnouncement)
{
    // Proves an announced file stays unlisted until its content arrives, a mismatching transfer is refused whole, and a repeated announcement is answered without transfer.
    const std::string content = "Inhalt der Datei";
    auto announced = m_client->announce(m_rootID, "a.txt", content);
    ASSERT_EQ(announced.status, 200);
    ASSERT_TRUE(announced.json().contains("upload"));
    EXPECT_TRUE(announced.json()["meta"].contains("quota"));
    auto identifier = idOf(announced.json()["data"]);
    EXPECT_TRUE(m_client->everything().empty());
    EXPECT_EQ(m_client->get("files/" + std::to_string(identifier)).status, 404);
    auto rightHash = requestHash(m_rootID, "a.txt", ServiceClient::sha1(content));

    auto wrongHeader = m_client->transfer(identifier, content, requestHash(m_rootID, "b.txt", ServiceClient::sha1(content)));
    EXPECT_EQ(wrongHeader.status, 400);
    EXPECT_EQ(wrongHeader.errorCode(), std::to_string(ServiceErrors::contentMismatchCode));
    auto wrongBytes = m_client->transfer(identifier, "Inhalt der Dateı", rightHash);
    EXPECT_EQ(wrongBytes.status, 400);
    auto missingHeader = m_client->call("PUT", "files/" + std::to_string(identifier) + "/stream", content, "text/plain");
    EXPECT_EQ(missingHeader.status, 400);
    EXPECT_TRUE(m_client->everything().empty());
    EXPECT_FALSE(std::filesystem::exists(m_server->storedContentPath(identifier)));

    auto stored = m_client->transfer(identifier, content, rightHash);
    ASSERT_EQ(stored.status, 200);
    EXPECT_EQ(stored.data().value("file_hash", ""), ServiceClient::sha1(content));
    EXPECT_EQ(stored.json()["meta"]["quota"].value("used", 0), static_cast<int>(content.size()));
    ASSERT_EQ(m_client->everything().size(), 1u);

    auto again = m_client->announce(m_rootID, "a.txt", content);
    ASSERT_EQ(again.status, 200);
    EXPECT_FALSE(again.json().contains("upload"));
    EXPECT_EQ(idOf(again.json()["data"]), identifier);
    auto other = m_client->announce(m_rootID, "a.txt", "anderer Inhalt");
    EXPECT_EQ(other.status, 200);
    EXPECT_NE(idOf(other.json()["data"]), identifier);
    EXPECT_EQ(m_client->get("files/" + std::to_string(identifier) + "/download").body, content);

    // An overwrite is a transfer to the identifier; the stored hash is that of the bytes received.
    auto overwritten = m_client->transfer(identifier, "neu", "whatever the client computed");
    ASSERT_EQ(overwritten.status, 200);
    EXPECT_EQ(overwritten.data().value("file_hash", ""), ServiceClient::sha1("neu"));
    EXPECT_EQ(overwritten.data().value("file_size", 0), 3);
    EXPECT_EQ(m_client->get("files/" + std::to_string(identifier) + "/download").body, "neu");
    EXPECT_EQ(m_client->transfer(m_rootID, "x", "").errorCode(), "5047");
}

TEST_F(FileServiceTests, OtherContentUnderATakenNameIsKeptUnderTheNextFreeName)
{
    // Proves an upload under a taken name with other content is stored beside the file as "stem (n).ext", never over it.
    auto original = m_client->upload(m_rootID, "Bericht.txt", "eins");
    ASSERT_GT(idOf(original), 0);
    (void)m_client->upload(m_rootID, "Bericht (1).txt", "schon da");

    auto announced = m_client->announce(m_rootID, "Bericht.txt", "zwei");
    ASSERT_EQ(announced.status, 200);
    ASSERT_TRUE(announced.json().contains("upload"));
    EXPECT_EQ(announced.json()["data"].value("name", ""), "Bericht (2).txt");
    // The client hashes the name it announced.
    auto stored = m_client->transfer(idOf(announced.json()["data"]), "zwei",
        requestHash(m_rootID, "Bericht.txt", ServiceClient::sha1("zwei")));
    ASSERT_EQ(stored.status, 200);
    EXPECT_EQ(stored.data().value("name", ""), "Bericht (2).txt");
    EXPECT_EQ(stored.data().value("path", ""), "/Bericht (2).txt");
    EXPECT_EQ(m_client->get("files/" + std::to_string(idOf(original)) + "/download").body, "eins");

    // Names without an extension, and with a leading dot.
    EXPECT_EQ(m_client->upload(m_rootID, "LIESMICH", "a").value("name", ""), "LIESMICH");
    EXPECT_EQ(m_client->upload(m_rootID, "LIESMICH", "b").value("name", ""), "LIESMICH (1)");
    (void)m_client->upload(m_rootID, ".profil", "a");
    EXPECT_EQ(m_client->upload(m_rootID, ".profil", "b").value("name", ""), ".profil (1)");

    // Two uploads of one new name that cross: the second to finish goes beside the first.
    auto first = m_client->announce(m_rootID, "neu.txt", "von hier");
    auto firstID = idOf(first.json()["data"]);
    auto second = ServiceClient(m_server->port());
    ASSERT_TRUE(second.logIn("anna", "geheim"));
    auto otherID = idOf(second.upload(m_rootID, "neu.txt", "von dort"));
    ASSERT_GT(otherID, 0);
    ASSERT_NE(otherID, firstID);
    auto late = m_client->transfer(firstID, "von hier", requestHash(m_rootID, "neu.txt", ServiceClient::sha1("von hier")));
    ASSERT_EQ(late.status, 200);
    EXPECT_EQ(late.data().value("name", ""), "neu (1).txt");
    EXPECT_EQ(m_client->get("files/" + std::to_string(otherID) + "/download").body, "von dort");
    EXPECT_EQ(m_client->get("files/" + std::to_string(firstID) + "/download").body, "von hier");

    // A folder under the name still refuses.
    (void)m_client->createFolder(m_rootID, "Ordner");
    EXPECT_EQ(m_client->announce(m_rootID, "Ordner", "x").errorCode(), "4014");
}

TEST_F(FileServiceTests, LargeDownloadsAreDeflatedOnlyWhenAccepted)
{
    // Proves downloads of 64 KiB and more are zlib-deflated when the request accepts deflate, and sent plain otherwise.
    auto big = randomContent(200 * 1024, 3);
    auto small = randomContent(64 * 1024 - 1, 4);
    auto bigID = idOf(m_client->upload(m_rootID, "big.bin", big));
    auto smallID = idOf(m_client->upload(m_rootID, "small.bin", small));

    auto deflated = m_client->get("files/" + std::to_string(bigID) + "/download", { { "Accept-Encoding", "deflate" } });
    ASSERT_EQ(deflated.status, 200);
    EXPECT_EQ(deflated.header("Content-Encoding"), "deflate");
    EXPECT_LT(deflated.body.size(), big.size());
    EXPECT_EQ(inflated(deflated.body), big);

    auto plain = m_client->get("files/" + std::to_string(bigID) + "/download", { { "Accept-Encoding", "gzip" } });
    EXPECT_EQ(plain.header("Content-Encoding"), "");
    EXPECT_EQ(plain.body, big);
    auto refused = m_client->get("files/" + std::to_string(bigID) + "/download", { { "Accept-Encoding", "deflate;q=0" } });
    EXPECT_EQ(refused.body, big);
    auto below = m_client->get("files/" + std::to_string(smallID) + "/download", { { "Accept-Encoding", "deflate" } });
    EXPECT_EQ(below.header("Content-Encoding"), "");
    EXPECT_EQ(below.body, small);
}

TEST_F(FileServiceTests, RootEtagChangesWithEveryChangeBelowAndOnlyThen)
{
    // Proves each change gives the item and every ancestor a new etag, while reads and unfinished announcements change none.
    auto a = idOf(m_client->createFolder(m_rootID, "a"));
    auto b = idOf(m_client->createFolder(a, "b"));
    auto other = idOf(m_client->createFolder(m_rootID, "other"));
    auto file = idOf(m_client->upload(b, "f.txt", "1"));

    auto rootEtag = m_client->etag(m_rootID);
    auto aEtag = m_client->etag(a);
    auto otherEtag = m_client->etag(other);
    // Reads and an announcement without content.
    (void)m_client->everything();
    (void)m_client->get("files/" + std::to_string(file) + "/download");
    (void)m_client->post("files/getter", { { "file_ids", { file } } });
    (void)m_client->announce(b, "pending.txt", "not yet");
    (void)m_client->post("files/folders", { { "folder_name", "b" }, { "file_id", a } });
    EXPECT_EQ(m_client->etag(m_rootID), rootEtag);
    EXPECT_EQ(m_client->etag(a), aEtag);

    auto expectChanged = [&](const char* step) {
        auto now = m_client->etag(m_rootID);
        EXPECT_NE(now, rootEtag) << step;
        rootEtag = now;
        auto nowA = m_client->etag(a);
        EXPECT_NE(nowA, aEtag) << step;
        aEtag = nowA;
    };
    (void)m_client->createFolder(b, "c");
    expectChanged("folder made");
    (void)m_client->upload(b, "g.txt", "2");
    expectChanged("upload");
    auto fileEtag = m_client->etag(file);
    (void)m_client->transfer(file, "3", "");
    expectChanged("overwrite");
    EXPECT_NE(m_client->etag(file), fileEtag);
    (void)m_client->put("files/" + std::to_string(file), { { "new_name", "h.txt" } });
    expectChanged("rename");
    (void)m_client->post("files/mover", { { "file_ids", { file } }, { "destination_folder_id", other } });
    expectChanged("move");
    EXPECT_NE(m_client->etag(other), otherEtag);
    otherEtag = m_client->etag(other);
    (void)m_client->post("files/deleter", { { "file_ids", { b } } });
    expectChanged("delete");
    EXPECT_EQ(m_client->etag(other), otherEtag);
}

TEST_F(FileServiceTests, DeleteAndMoveReportEveryItemOnItsOwn)
{
    // Proves partial deletes and moves succeed with per-item outcomes, and a folder never moves into itself or below itself.
    auto a = idOf(m_client->createFolder(m_rootID, "a"));
    auto inner = idOf(m_client->createFolder(a, "inner"));
    auto target = idOf(m_client->createFolder(m_rootID, "target"));
    auto x = idOf(m_client->upload(m_rootID, "x.txt", "x"));
    auto clash = idOf(m_client->upload(target, "x.txt", "other x"));
    auto y = idOf(m_client->upload(inner, "y.txt", "yy"));

    auto moved = m_client->post("files/mover", { { "file_ids", { a, 999999, inner } }, { "destination_folder_id", inner } });
    ASSERT_EQ(moved.status, 200);
    EXPECT_TRUE(moved.data()["success"].empty());
    EXPECT_EQ(moved.data()["errors"], nlohmann::json::array({ a, 999999, inner }));
    auto intoTarget = m_client->post("files/mover", { { "file_ids", { a, x } }, { "destination_folder_id", target } });
    ASSERT_EQ(intoTarget.data()["success"].size(), 1u);
    EXPECT_EQ(intoTarget.data()["success"][0].value("path", ""), "/target/a/");
    EXPECT_EQ(intoTarget.data()["errors"], nlohmann::json::array({ x }));
    EXPECT_EQ(m_client->file(y).value("path", ""), "/target/a/inner/y.txt");
    EXPECT_EQ(m_client->post("files/mover", { { "file_ids", { x } }, { "destination_folder_id", x } }).errorCode(), "5047");
    EXPECT_EQ(m_client->post("files/mover", { { "file_ids", { x } }, { "destination_folder_id", 999999 } }).errorCode(), "5004");

    auto deleted = m_client->post("files/deleter", { { "file_ids", { a, 999999, m_rootID, clash } } });
    ASSERT_EQ(deleted.status, 200);
    EXPECT_EQ(deleted.data()["success"], nlohmann::json::array({ a, clash }));
    ASSERT_EQ(deleted.data()["errors"].size(), 2u);
    EXPECT_EQ(deleted.data()["errors"][0].value("code", 0), 5004);
    EXPECT_EQ(deleted.data()["errors"][1].value("code", 0), 5047);
    EXPECT_FALSE(std::filesystem::exists(m_server->storedContentPath(y)));
    EXPECT_EQ(m_client->get("files/" + std::to_string(y)).status, 404);
    EXPECT_EQ(m_client->everything().size(), 2u);
    EXPECT_EQ(m_client->get("files").json()["meta"]["quota"].value("used", -1), 1);
}

TEST_F(FileServiceTests, HostileInputGetsServiceErrorsAndWritesNothingOutside)
{
    // Proves bad names, malformed JSON, long paths and foreign identifiers get service errors and nothing lands outside the data folder.
    for (std::string name : { std::string("a/b"), std::string(), std::string("."), std::string(".."),
             std::string("a\x01" "b"), std::string("a\0b", 3), std::string("tab\there"), std::string(256, 'n'),
             std::string("../../escape") }) {
        auto folder = m_client->post("files/folders", { { "folder_name", name } });
        EXPECT_EQ(folder.errorCode(), "5011") << name;
        EXPECT_EQ(m_client->announce(m_rootID, name, "x").errorCode(), "5011") << name;
    }
    // Invalid UTF-8 cannot even be JSON; a raw body with it is malformed.
    auto invalid = m_client->call("POST", "files/folders", "{\"folder_name\":\"\xC3\x28\"}");
    EXPECT_EQ(invalid.errorCode(), "1000");
    for (const char* body : { "", "{", "[]", "{\"folder_name\":5}", "{\"folder_name\":\"x\",\"file_id\":\"1\"}" })
        EXPECT_EQ(m_client->call("POST", "files/folders", body).errorCode(), "1000") << body;
    EXPECT_EQ(m_client->call("POST", "files/init", "{\"name\":\"x\"}").errorCode(), "1000");
    EXPECT_EQ(m_client->call("POST", "files/deleter", "{\"file_ids\":[\"1\"]}").errorCode(), "1000");

    // Paths longer than the service keeps.
    auto folder = m_rootID;
    std::string lastCode;
    for (int level = 0; level < 20 && lastCode.empty(); ++level) {
        auto answer = m_client->post("files/folders", { { "folder_name", std::string(250, 'd') }, { "file_id", folder } });
        if (answer.status != 200)
            lastCode = answer.errorCode();
        else
            folder = idOf(answer.data());
    }
    EXPECT_EQ(lastCode, "5012");

    // Another account's items are not there for anna.
    m_server->accounts().addUser("bert", "passwort");
    ServiceClient bert(m_server->port());
    ASSERT_TRUE(bert.logIn("bert", "passwort"));
    auto secret = idOf(bert.upload(m_server->rootIdentifier("bert"), "geheim.txt", "geheim"));
    ASSERT_GT(secret, 0);
    auto path = "files/" + std::to_string(secret);
    EXPECT_EQ(m_client->get(path).errorCode(), "5004");
    EXPECT_EQ(m_client->get(path + "/download").errorCode(), "5004");
    EXPECT_EQ(m_client->put(path, { { "new_name", "mine" } }).errorCode(), "5004");
    EXPECT_EQ(m_client->transfer(secret, "overwritten", "").errorCode(), "5004");
    EXPECT_EQ(m_client->post("files/deleter", { { "file_ids", { secret } } }).data()["success"].size(), 0u);
    EXPECT_EQ(m_client->post("files/folders", { { "folder_name", "x" }, { "file_id", secret } }).errorCode(), "5004");
    EXPECT_EQ(m_client->post("files/mover", { { "file_ids", { secret } }, { "destination_folder_id", m_rootID } }).data()["errors"].size(), 1u);
    EXPECT_EQ(bert.get(path + "/download").body, "geheim");

    std::set<std::string> outside;
    for (const auto& entry : std::filesystem::directory_iterator(m_root))
        outside.insert(entry.path().filename().string());
    EXPECT_EQ(outside, std::set<std::string> { "data" });
}

TEST_F(FileServiceTests, NamesAndPathsAreTakenUpToTheirLimitAndNotOneByteMore)
{
    // Proves a name of 255 bytes and a path of 4096 bytes are stored, one byte more is refused, for new items and renames alike.
    const std::string longest(255, 'n');
    auto folder = m_client->post("files/folders", { { "folder_name", longest } });
    ASSERT_EQ(folder.status, 200) << folder.body;
    EXPECT_EQ(folder.data().value("path", ""), "/" + longest + "/");
    EXPECT_EQ(m_client->announce(m_rootID, longest + ".", "x").errorCode(), "5011");
    auto file = idOf(m_client->upload(m_rootID, std::string(254, 'f') + "x", "x"));
    ASSERT_GT(file, 0);
    EXPECT_EQ(m_client->put("files/" + std::to_string(file), { { "new_name", std::string(256, 'r') } }).errorCode(), "5011");
    EXPECT_EQ(m_client->put("files/" + std::to_string(file), { { "new_name", std::string(255, 'r') } }).status, 200);

    // 16 folders of 250 bytes: "/" and 16 times 251 bytes, 4017 in all.
    auto deep = m_rootID;
    for (int level = 0; level < 16; ++level) {
        deep = idOf(m_client->createFolder(deep, std::string(250, static_cast<char>('a' + level))));
        ASSERT_GT(deep, 0) << level;
    }
    const auto room = static_cast<std::size_t>(4096 - 4017);
    EXPECT_EQ(m_client->announce(deep, std::string(room + 1, 'p'), "x").errorCode(), "5012");
    auto fits = idOf(m_client->upload(deep, std::string(room, 'p'), "x"));
    ASSERT_GT(fits, 0);
    EXPECT_EQ(m_client->file(fits).value("path", "").size(), 4096u);
    // A folder's path ends in "/", which counts too.
    EXPECT_EQ(m_client->post("files/folders", { { "folder_name", std::string(room, 'q') }, { "file_id", deep } }).errorCode(), "5012");
    EXPECT_GT(idOf(m_client->createFolder(deep, std::string(room - 1, 'q'))), 0);
    auto renamed = m_client->put("files/" + std::to_string(fits), { { "new_name", std::string(room + 1, 's') } });
    EXPECT_EQ(renamed.errorCode(), "5012");
    EXPECT_EQ(m_client->file(fits).value("name", ""), std::string(room, 'p'));
}

TEST_F(FileServiceTests, InputIsReadAsStrictlyAsTheServiceReadsIt)
{
    // Proves JSON bodies need a JSON content type, hashes and depths their exact form, a rename body names only its own
    // file, and every unknown or negative identifier is a missing file (5004), never an unknown route.
    auto folderBody = nlohmann::json { { "folder_name", "Neu" } }.dump();
    for (const char* type : { "text/plain", "application/x-www-form-urlencoded", "application/jsonp", "" }) {
        auto refused = m_client->call("POST", "files/folders", folderBody, type);
        EXPECT_EQ(refused.status, 400) << type;
        EXPECT_EQ(refused.errorCode(), "1000") << type;
    }
    EXPECT_EQ(m_client->call("POST", "files/folders", folderBody, "Application/JSON; charset=utf-8").status, 200);
    ServiceClient plain(m_server->port());
    EXPECT_FALSE(plain.call("POST", "login", nlohmann::json { { "world", "2" }, { "login", "anna" }, { "password", "geheim" } }.dump(),
                          "text/plain")
                     .status
        == 200);

    auto announce = [&](const std::string& hash) {
        return m_client->post("files/init", { { "parent_file_id", m_rootID }, { "name", "h.txt" }, { "mime_type", "text/plain" },
            { "created", 1 }, { "modified", 1 }, { "hash", hash }, { "file_size", 1 } });
    };
    const std::string hash = ServiceClient::sha1("x");
    std::string upper = hash;
    for (auto& character : upper)
        character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
    for (const auto& bad : { upper, hash.substr(1), hash + "0", std::string(40, 'g'), std::string() })
        EXPECT_EQ(announce(bad).errorCode(), "1000") << bad;
    EXPECT_EQ(announce(hash).status, 200);

    for (const char* depth : { "abc", "-1x", "1.5", "", " -1" })
        EXPECT_EQ(m_client->get(std::string("files?depth=") + depth).errorCode(), "1000") << depth;
    EXPECT_EQ(m_client->get("files?depth=-1").status, 200);
    EXPECT_EQ(m_client->get("files?depth=1").status, 200);

    auto file = idOf(m_client->upload(m_rootID, "a.txt", "a"));
    auto other = idOf(m_client->upload(m_rootID, "b.txt", "b"));
    auto path = "files/" + std::to_string(file);
    EXPECT_EQ(m_client->put(path, { { "new_name", "c.txt" }, { "file_id", other } }).errorCode(), "1000");
    EXPECT_EQ(m_client->put(path, { { "new_name", "c.txt" }, { "file_id", "x" } }).errorCode(), "1000");
    EXPECT_EQ(m_client->file(file).value("name", ""), "a.txt");
    EXPECT_EQ(m_client->put(path, { { "new_name", "c.txt" }, { "file_id", file } }).data().value("name", ""), "c.txt");

    for (const char* unknown : { "files/-3", "files/-3/download", "files/-3/thumbnail?x=10&y=10", "files/99999999",
             "files/99999999999999999999999", "files/-3/permissions", "files/-3/shareinfos" }) {
        auto answer = m_client->get(unknown);
        EXPECT_EQ(answer.status, 404) << unknown;
        EXPECT_EQ(answer.errorCode(), "5004") << unknown;
    }
    EXPECT_EQ(m_client->put("files/-3", { { "new_name", "x" }, { "file_id", -3 } }).errorCode(), "5004");
}

TEST_F(FileServiceTests, RecordsAnswerEachItemOnceAndSayWhatTheyLack)
{
    // Proves a record without a public link carries "share_valid_to" as null, an empty search finds nothing, and the
    // getter answers each identifier once.
    auto file = idOf(m_client->upload(m_rootID, "Bericht.txt", "a"));
    auto record = m_client->get("files/" + std::to_string(file)).json();
    ASSERT_TRUE(record["data"].contains("share_valid_to")) << record.dump();
    EXPECT_TRUE(record["data"]["share_valid_to"].is_null());
    for (const auto& item : m_client->everything())
        EXPECT_TRUE(item.contains("share_valid_to") && item["share_valid_to"].is_null());

    EXPECT_EQ(m_client->get("files/search?query=bericht").data().size(), 1u);
    EXPECT_TRUE(m_client->get("files/search?query=").data().empty());
    EXPECT_TRUE(m_client->get("files/search?path=/&count=50&query=").data().empty());

    auto got = m_client->post("files/getter", { { "file_ids", { file, file, 424242, file } } }).data();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(idOf(got[0]), file);
}

TEST_F(FileServiceTests, DeltaForgetsADeletionThirtyDaysLater)
{
    // Proves a delta names a deleted item for thirty days after its deletion and no longer once they are over.
    auto file = idOf(m_client->upload(m_rootID, "alt.txt", "a"));
    const std::int64_t since = m_clock.seconds();
    ASSERT_EQ(m_client->post("files/deleter", { { "file_ids", { file } } }).data()["success"].size(), 1u);
    auto names = [&] {
        // A month without use ends any session.
        EXPECT_TRUE(m_client->logIn("anna", "geheim"));
        for (const auto& item : m_client->get("files/delta?last_sync=" + std::to_string(since)).data()) {
            if (idOf(item) == file)
                return item.contains("deleted");
        }
        return false;
    };
    EXPECT_TRUE(names());
    m_clock.advance(std::chrono::days(30));
    EXPECT_TRUE(names());
    m_clock.advance(std::chrono::seconds(1));
    EXPECT_FALSE(names());
}

TEST_F(FileServiceTests, DeltaReportsDeletedItemsAndTheRoot)
{
    // Proves a delta after deletions names each deleted item (a folder and what it held) with its "deleted" date, and the root.
    auto folder = idOf(m_client->createFolder(m_rootID, "Alt"));
    auto inner = idOf(m_client->upload(folder, "innen.txt", "i"));
    auto kept = idOf(m_client->upload(m_rootID, "bleibt.txt", "b"));
    const std::int64_t since = m_clock.seconds();
    ASSERT_EQ(m_client->post("files/deleter", { { "file_ids", { folder } } }).data()["success"].size(), 1u);

    auto delta = m_client->get("files/delta?last_sync=" + std::to_string(since)).data();
    std::map<std::int64_t, nlohmann::json> byID;
    for (const auto& item : delta)
        byID[idOf(item)] = item;
    ASSERT_TRUE(byID.contains(folder)) << delta.dump();
    ASSERT_TRUE(byID.contains(inner)) << delta.dump();
    ASSERT_TRUE(byID.contains(kept));
    ASSERT_TRUE(byID.contains(m_rootID));
    EXPECT_TRUE(byID[folder]["deleted"].is_number_integer());
    EXPECT_GE(byID[folder]["deleted"].get<std::int64_t>(), since);
    EXPECT_EQ(byID[inner].value("path", ""), "/Alt/innen.txt");
    EXPECT_FALSE(byID[kept].contains("deleted"));
    EXPECT_EQ(byID[m_rootID].value("path", ""), "/");
    EXPECT_FALSE(byID[m_rootID].contains("deleted"));

    // A delta after the deletion reports neither it nor an unchanged tree.
    EXPECT_TRUE(m_client->get("files/delta?last_sync=99999999999").data().empty());
}

TEST_F(FileServiceTests, StorageFullRefusesAnnouncementAndTransfer)
{
    // Proves content beyond the account's quota is refused with 5013 and leaves the stored content as it was.
    m_server->accounts().addUser("klein", "passwort", AccountLock::none, 10);
    ServiceClient client(m_server->port());
    ASSERT_TRUE(client.logIn("klein", "passwort"));
    auto root = m_server->rootIdentifier("klein");
    EXPECT_EQ(client.announce(root, "big.txt", "elf Zeichen").errorCode(), "5013");
    auto file = idOf(client.upload(root, "ok.txt", "12345"));
    ASSERT_GT(file, 0);
    auto refused = client.transfer(file, "viel zu viel Inhalt", "");
    EXPECT_EQ(refused.status, 507);
    EXPECT_EQ(refused.errorCode(), "5013");
    ServiceClient again(m_server->port());
    ASSERT_TRUE(again.logIn("klein", "passwort"));
    EXPECT_EQ(again.get("files/" + std::to_string(file) + "/download").body, "12345");
    EXPECT_EQ(again.get("files").json()["meta"]["quota"], (nlohmann::json { { "total", 10 }, { "used", 5 } }));
}

TEST_F(FileServiceTests, TreeUsersAndContentsSurviveARestart)
{
    // Proves identifiers, paths, etags, contents and users come back after a restart, and identifiers are never used twice.
    auto folder = idOf(m_client->createFolder(m_rootID, "Ordner"));
    auto file = idOf(m_client->upload(folder, "datei.txt", "Inhalt"));
    auto last = idOf(m_client->upload(m_rootID, "zuletzt.txt", "weg"));
    ASSERT_EQ(m_client->post("files/deleter", { { "file_ids", { last } } }).data()["success"].size(), 1u);
    auto pending = idOf(m_client->announce(folder, "halb.txt", "halb").json()["data"]);
    auto before = m_client->everything();
    auto rootEtag = m_client->etag(m_rootID);

    restartServer();
    EXPECT_EQ(m_server->rootIdentifier("anna"), m_rootID);
    EXPECT_EQ(m_client->everything(), before);
    EXPECT_EQ(m_client->etag(m_rootID), rootEtag);
    EXPECT_EQ(m_client->get("files/" + std::to_string(file) + "/download").body, "Inhalt");
    // The announcement made before the restart still takes its content.
    EXPECT_EQ(m_client->transfer(pending, "halb", requestHash(folder, "halb.txt", ServiceClient::sha1("halb"))).status, 200);
    auto next = idOf(m_client->createFolder(m_rootID, "neu"));
    EXPECT_GT(next, last);
    EXPECT_GT(next, pending);
}

TEST_F(FileServiceTests, ContentBetweenArrivalAndPlacementIsSettledAtTheNextStart)
{
    // Proves content left waiting by an ended run becomes the file's when the database names it, and is dropped when not.
    auto kept = idOf(m_client->upload(m_rootID, "kept.txt", "alt"));
    auto replaced = idOf(m_client->upload(m_rootID, "replaced.txt", "alt"));
    ASSERT_EQ(m_client->transfer(replaced, "neu", "").status, 200);
    m_client.reset();
    m_server.reset();
    // Ended before the commit: the database still names the old content.
    std::ofstream(dataFolder() / "content" / (std::to_string(kept) + ".next"), std::ios::binary) << "neu";
    // Ended after the commit, before the new content got its final name.
    std::ofstream(dataFolder() / "content" / std::to_string(replaced), std::ios::binary | std::ios::trunc) << "alt";
    std::ofstream(dataFolder() / "content" / (std::to_string(replaced) + ".next"), std::ios::binary) << "neu";

    startServer();
    m_client = std::make_unique<ServiceClient>(m_server->port());
    ASSERT_TRUE(m_client->logIn("anna", "geheim"));
    EXPECT_EQ(m_client->get("files/" + std::to_string(kept) + "/download").body, "alt");
    EXPECT_EQ(m_client->get("files/" + std::to_string(replaced) + "/download").body, "neu");
    for (const auto& entry : std::filesystem::directory_iterator(dataFolder() / "content"))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".next")) << entry.path();
}

TEST_F(FileServiceTests, TwoClientsChangingOneTreeLeaveItConsistent)
{
    // Proves concurrent creations, uploads, moves and deletes from two sessions leave a tree whose paths, names and quota agree.
    auto shared = idOf(m_client->createFolder(m_rootID, "gemeinsam"));
    auto work = [&](int worker) {
        ServiceClient client(m_server->port());
        ASSERT_TRUE(client.logIn("anna", "geheim"));
        for (int round = 0; round < 25; ++round) {
            auto name = "f" + std::to_string(round % 5);
            auto folder = client.createFolder(shared, name);
            auto target = folder.is_object() && folder.contains("id") ? idOf(folder) : shared;
            (void)client.upload(target, "w" + std::to_string(worker) + ".txt", std::to_string(round));
            (void)client.upload(shared, "same.txt", "identisch");
            (void)client.post("files/mover", { { "file_ids", { target } }, { "destination_folder_id", shared } });
            if (round % 7 == worker)
                (void)client.post("files/deleter", { { "file_ids", { target } } });
        }
    };
    std::thread first(work, 0);
    std::thread second(work, 1);
    first.join();
    second.join();

    auto items = m_client->everything();
    std::map<std::int64_t, nlohmann::json> byID;
    for (const auto& item : items)
        byID[idOf(item)] = item;
    std::set<std::pair<std::int64_t, std::string>> names;
    std::int64_t used = 0;
    for (const auto& item : items) {
        auto parent = item.value("parent_file_id", std::int64_t { 0 });
        std::string parentPath = parent == m_rootID ? "/" : byID.at(parent).value("path", "");
        bool folder = item.value("mime_type", "") == "httpd/unix-directory";
        EXPECT_EQ(item.value("path", ""), parentPath + item.value("name", "") + (folder ? "/" : ""));
        EXPECT_TRUE(names.insert({ parent, item.value("name", "") }).second) << item.value("path", "");
        if (!folder)
            used += item.value("file_size", std::int64_t { 0 });
    }
    EXPECT_EQ(m_client->get("files").json()["meta"]["quota"].value("used", std::int64_t { -1 }), used);
    restartServer();
    EXPECT_EQ(m_client->everything(), items);
}

TEST_F(FileServiceTests, SeededTreeAndRequestLogServeTests)
{
    // Proves a seeded tree lists as given and the request log keeps JSON bodies.
    ASSERT_TRUE(m_server->seedTree("anna", { { "/Fotos/" }, { "/Fotos/a.png", "png" }, { "/Texte/b.txt", "Text" } })
            .has_value());
    auto items = m_client->everything();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].value("path", ""), "/Fotos/");
    EXPECT_EQ(items[1].value("path", ""), "/Fotos/a.png");
    EXPECT_EQ(items[1].value("mime_type", ""), "image/png");
    EXPECT_EQ(items[3].value("file_hash", ""), ServiceClient::sha1("Text"));
    EXPECT_EQ(m_client->get("files/" + std::to_string(idOf(items[3])) + "/download").body, "Text");

    (void)m_client->post("files/getter", { { "file_ids", { 1, 2 } } });
    auto log = m_server->requestLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().path, "/v2.0/files/getter");
    EXPECT_EQ(nlohmann::json::parse(log.back().body), (nlohmann::json { { "file_ids", { 1, 2 } } }));
}

TEST_F(FileServiceTests, AnnouncedContentOfTheAnnouncedSizeWithAnotherHashIsRefused)
{
    // Proves bytes of exactly the announced length but another SHA-1 are refused whole: nothing listed, nothing stored.
    const std::string content = "Inhalt der Datei";
    const std::string forged = "Inhalt der Datej";
    ASSERT_EQ(forged.size(), content.size());
    auto announced = m_client->announce(m_rootID, "a.txt", content);
    ASSERT_EQ(announced.status, 200);
    auto identifier = idOf(announced.json()["data"]);

    auto refused = m_client->transfer(identifier, forged, requestHash(m_rootID, "a.txt", ServiceClient::sha1(content)));

    EXPECT_EQ(refused.status, 400);
    EXPECT_EQ(refused.errorCode(), std::to_string(ServiceErrors::contentMismatchCode));
    EXPECT_TRUE(m_client->everything().empty());
    EXPECT_FALSE(std::filesystem::exists(m_server->storedContentPath(identifier)));
    EXPECT_EQ(m_client->transfer(identifier, content, requestHash(m_rootID, "a.txt", ServiceClient::sha1(content))).status, 200);
    EXPECT_EQ(m_client->get("files/" + std::to_string(identifier) + "/download").body, content);
}

TEST_F(FileServiceTests, AnOverwriteWhoseCommitFailsLeavesTheOldContentLive)
{
    // Proves new content never replaces the live content before the database has it: a failed commit keeps the old bytes and record.
    auto identifier = idOf(m_client->upload(m_rootID, "a.txt", "alt"));
    ASSERT_GT(identifier, 0);
    {
        auto database = Platform::Database::open(serviceDatabaseConfiguration(dataFolder()));
        ASSERT_TRUE(database) << database.error().description();
        ASSERT_TRUE(database->execute("CREATE TRIGGER full BEFORE INSERT ON Item BEGIN SELECT RAISE(ABORT, 'disk full'); END;"));
        ASSERT_TRUE(database->execute("CREATE TRIGGER fuller BEFORE UPDATE ON Item BEGIN SELECT RAISE(ABORT, 'disk full'); END;"));
    }

    auto failed = m_client->transfer(identifier, "neu", "");

    EXPECT_NE(failed.status, 200);
    EXPECT_EQ(m_client->get("files/" + std::to_string(identifier) + "/download").body, "alt");
    EXPECT_EQ(m_client->get("files/" + std::to_string(identifier)).data().value("file_hash", ""), ServiceClient::sha1("alt"));
    {
        auto database = Platform::Database::open(serviceDatabaseConfiguration(dataFolder()));
        ASSERT_TRUE(database);
        ASSERT_TRUE(database->execute("DROP TRIGGER full; DROP TRIGGER fuller;"));
    }
    restartServer();
    EXPECT_EQ(m_client->get("files/" + std::to_string(identifier) + "/download").body, "alt");
}
