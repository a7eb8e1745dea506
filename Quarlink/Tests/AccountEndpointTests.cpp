// The customer data and profile picture operations against the local service
// answering with canned bodies.

#include "Quarlink/Account/AccountOperations.hpp"
#include "Quarlink/Account/CustomerImageDeleteRequest.hpp"
#include "Quarlink/Account/CustomerImageUploadRequest.hpp"
#include "Quarlink/Tests/EndpointFixture.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

const std::string customer = R"({"cid":4711,"first_name":"Anna","last_name":"Berg","email":"anna@example.org",)"
                             R"("root_file_id":100,"features":{"advertising":true,"has_ocr":false,"has_reminders":true},)"
                             R"("main_product_short_name":"Free","limits":{"mail_total_size":20971520}})";

class AccountEndpointTests : public EndpointFixture {
protected:
    Platform::URL picture(const std::string& name, const std::string& bytes)
    {
        writeFile(m_root / "pictures" / name, bytes);
        return Platform::URL::fileURL((m_root / "pictures" / name).string());
    }
};

} // namespace

TEST_F(AccountEndpointTests, CustomerDataIsDecodedFromTheTopLevelOnly)
{
    // Proves GET "customer" decodes the bare object with its root folder, and that an envelope there fails.
    answer("GET", "customer", customer);
    auto info = onlyValue(run(customerInfo(client())));
    ASSERT_TRUE(info);
    EXPECT_EQ(lastRequest().method, "GET");
    EXPECT_EQ(lastRequest().path, "/v2.0/customer");
    EXPECT_EQ(lastRequest().header("Content-Type"), "text/plain");
    EXPECT_EQ(info->rootFolderID, 100);
    EXPECT_EQ(info->features.rawValue(), 5);
    EXPECT_EQ(info->fullName(), "Anna Berg");

    answer("GET", "customer", "{\"data\":" + customer + "}");
    EXPECT_TRUE(failedDecoding(run(customerInfo(client()))));
}

TEST_F(AccountEndpointTests, UploadIsTypedByTheFileAndItsMethodGoesOnTheWire)
{
    // Proves the picture's content type from the file (else "application/octet-stream"), the PUT, and that a
    // changed method of the upload and of the deletion is what the service receives.
    answer("PUT", "profile/picture", "egal", 200, "text/plain");
    ASSERT_TRUE(onlyValue(run(uploadCustomerImage(client(), picture("Lebenslauf.pdf", "%PDF-1.4")))));
    EXPECT_EQ(lastRequest().path, "/v2.0/profile/picture");
    EXPECT_EQ(lastRequest().header("Content-Type"), "application/pdf");

    answer("PUT", "profile/picture", "");
    ASSERT_TRUE(onlyValue(run(uploadCustomerImage(client(), picture("bild.ohne-bekannte-endung", "bytes")))));
    EXPECT_EQ(lastRequest().header("Content-Type"), "application/octet-stream");

    CustomerImageUploadRequest upload(picture("portrait.png", "png"));
    upload.setMethod(HTTPMethod::post);
    answer("POST", "profile/picture", "");
    ASSERT_TRUE(onlyValue(run(perform(upload, client()))));
    EXPECT_EQ(lastRequest().method, "POST");
    EXPECT_EQ(lastRequest().header("Content-Type"), "image/png");

    answer("DELETE", "profile/picture", "kein JSON", 200, "text/plain");
    ASSERT_TRUE(onlyValue(run(deleteCustomerImage(client()))));
    EXPECT_EQ(lastRequest().method, "DELETE");
    CustomerImageDeleteRequest removal;
    removal.setMethod(HTTPMethod::post);
    answer("POST", "profile/picture", "");
    ASSERT_TRUE(onlyValue(run(perform(removal, client()))));
    EXPECT_EQ(lastRequest().method, "POST");

    answerError("PUT", "profile/picture", 401, "3001");
    EXPECT_TRUE(run(uploadCustomerImage(client(), picture("a.png", "png"))).back().isFailed());
}

TEST_F(AccountEndpointTests, DownloadedPictureReplacesTheOldOneOnlyWhenComplete)
{
    // Proves a picture placed at its destination replaces an older file there, a missing parent folder is
    // made, only the file's URL reaches the caller, and a failed download leaves the older picture untouched.
    const auto destination = m_root / "profile" / "bild.png";
    writeFile(destination, "altes Bild");
    auto target = Platform::URL::fileURL(destination.string());

    answerError("GET", "profile/picture", 500, "9999");
    auto failed = run(downloadCustomerImage(client(), target));
    ASSERT_TRUE(failed.back().isFailed());
    EXPECT_EQ(readFile(destination), "altes Bild");
    EXPECT_TRUE(downloadsFolderEmpties());

    answer("GET", "profile/picture", "neues Bild", 200, "image/png");
    auto placed = onlyValue(run(downloadCustomerImage(client(), target)));
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->path(), destination.string());
    EXPECT_EQ(readFile(destination), "neues Bild");

    const auto deeper = m_root / "neu" / "tiefer" / "bild.png";
    answer("GET", "profile/picture", "drittes Bild", 200, "image/png");
    ASSERT_TRUE(onlyValue(run(downloadCustomerImage(client(), Platform::URL::fileURL(deeper.string())))));
    EXPECT_EQ(readFile(deeper), "drittes Bild");
    EXPECT_TRUE(downloadsFolderEmpties());
}

TEST_F(AccountEndpointTests, PictureWithoutDestinationIsTheCallersFile)
{
    // Proves a picture fetched without destination is the transfer's file, delivered as the only value and still
    // there after the stream ended, for the caller (here the test) to remove.
    answer("GET", "profile/picture", "Bild ohne Ziel", 200, "image/png");
    auto file = onlyValue(run(downloadCustomerImage(client())));
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->path().starts_with((m_root / "downloads").string()));
    EXPECT_EQ(readFile(file->path()), "Bild ohne Ziel");
    std::filesystem::remove(file->path());
    EXPECT_TRUE(downloadsFolderEmpties());
}

TEST_F(AccountEndpointTests, RejectedSessionIsRenewedAndTheRequestSentAgain)
{
    // Proves the customer request and the picture deletion renew a rejected session once and are sent again.
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    answerError("GET", "customer", 401, "3001");
    answer("GET", "customer", customer);
    auto info = onlyValue(run(customerInfo(client())));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->cid, 4711);
    EXPECT_EQ(refresher->executions.load(), 1);
    EXPECT_EQ(requestsTo("GET", "customer"), 2u);

    answerError("DELETE", "profile/picture", 401, "3001");
    answer("DELETE", "profile/picture", "");
    ASSERT_TRUE(onlyValue(run(deleteCustomerImage(client()))));
    EXPECT_EQ(refresher->executions.load(), 2);
}
