#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"

#include "LocalCloud/Routes/PngImage.hpp"
#include "LocalCloud/Server/RequestParsing.hpp"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

namespace LocalCloud {

namespace {

// Largest thumbnail side the service draws, and the most pixels in all: a
// placeholder costs its pixels' time even though it is drawn a row at a time.
constexpr std::int64_t maximumThumbnailSide = 4096;
constexpr std::int64_t maximumThumbnailPixels = 1024 * 1024;
// Largest profile picture it keeps.
constexpr std::int64_t maximumPictureBytes = 16 << 20;

nlohmann::json featuresObject(std::int64_t features)
{
    static constexpr std::pair<const char*, std::int64_t> members[] = { { "advertising", 1 }, { "has_ocr", 2 },
        { "has_reminders", 4 }, { "has_document_view", 8 }, { "has_server_search", 16 }, { "has_delta_request", 32 } };
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [key, bit] : members)
        object[key] = (features & bit) != 0;
    return object;
}

} // namespace

void LocalCloudServer::Implementation::installCustomerRoutes()
{
    addAccountRoute("GET", R"(/v2\.0/customer)",
        [this](const std::string& account, const httplib::Request&, httplib::Response& response, const RequestBody&,
            const std::smatch&) {
            auto root = tree->root(account);
            if (!root)
                return respondWithServiceError(response, root.error());
            auto stored = accounts.account(account).value_or(AccountRecord {});
            auto customer = accounts.customer(account);
            // The customer data itself, without the envelope.
            nlohmann::json json { { "cid", stored.customerID }, { "first_name", customer.firstName },
                { "last_name", customer.lastName }, { "email", customer.email },
                { "root_file_id", root->record.id }, { "features", featuresObject(customer.features) },
                { "main_product_short_name", customer.product },
                { "limits", { { "mail_total_size", customer.mailTotalSize } } } };
            response.status = 200;
            response.set_content(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), jsonContentType);
        });

    addAccountRoute("GET", R"(/v2\.0/files/(-?\d+)/thumbnail)",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody&, const std::smatch& match) {
            auto width = integerFrom(request.get_param_value("x"));
            auto height = integerFrom(request.get_param_value("y"));
            if (!width || !height || *width < 1 || *height < 1 || *width > maximumThumbnailSide
                || *height > maximumThumbnailSide || *width * *height > maximumThumbnailPixels)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            auto file = tree->file(account, identifierFrom(match));
            if (!file)
                return respondWithServiceError(response, file.error());
            // A folder has no content to preview.
            if (file->record.folder())
                return respondWithServiceError(response, ServiceErrors::notAllowed());
            {
                // An image is its own thumbnail.
                if (auto content = tree->openContent(account, file->record.id)) {
                    std::string head(8, '\0');
                    auto got = ::pread(content->first, head.data(), head.size(), 0);
                    head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
                    if (auto type = imageTypeOf(head); !type.empty()) {
                        serveContent(content->first, static_cast<std::size_t>(content->second), false, response, type);
                        return;
                    }
                    ::close(content->first);
                }
            }
            response.status = 200;
            response.set_content(placeholderPNG(static_cast<int>(*width), static_cast<int>(*height),
                                     file->record.folder()),
                "image/png");
        });

    auto picturePath = [this](const std::string& account) {
        auto stored = accounts.account(account).value_or(AccountRecord {});
        return options.dataFolder / "profile" / std::to_string(stored.customerID);
    };
    addAccountRoute("PUT", R"(/v2\.0/profile/picture)",
        [this, picturePath](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch&) {
            auto target = picturePath(account);
            auto received = receiveContent(tree->temporaryContentPath(), request, body, maximumPictureBytes);
            if (!received)
                return respondWithServiceError(response, received.error());
            // The old picture stays until the new one is complete and in place.
            std::error_code error;
            std::filesystem::rename(received->temporaryFile, target, error);
            if (error) {
                std::filesystem::remove(received->temporaryFile, error);
                return respondWithServiceError(response, ServiceErrors::internal("Cannot store the picture"));
            }
            respondForAccount(response, account, "{}");
        });
    addAccountRoute("GET", R"(/v2\.0/profile/picture)",
        [this, picturePath](const std::string& account, const httplib::Request&, httplib::Response& response,
            const RequestBody&, const std::smatch&) {
            auto path = picturePath(account);
            int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (descriptor < 0)
                return respondWithServiceError(response, ServiceErrors::fileNotFound());
            auto size = ::lseek(descriptor, 0, SEEK_END);
            std::string head(8, '\0');
            auto got = ::pread(descriptor, head.data(), head.size(), 0);
            head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
            auto type = imageTypeOf(head);
            serveContent(descriptor, static_cast<std::size_t>(std::max<off_t>(size, 0)), false, response,
                type.empty() ? std::string("application/octet-stream") : type);
        });
    addAccountRoute("DELETE", R"(/v2\.0/profile/picture)",
        [this, picturePath](const std::string& account, const httplib::Request&, httplib::Response& response,
            const RequestBody&, const std::smatch&) {
            std::error_code error;
            if (!std::filesystem::remove(picturePath(account), error))
                return respondWithServiceError(response, ServiceErrors::fileNotFound());
            respondForAccount(response, account, "{}");
        });

    // Beside the versioned API: writes the database log into the database file.
    addAccountRoute("GET", R"(/debug/flush-cloud)",
        [this](const std::string&, const httplib::Request&, httplib::Response& response, const RequestBody&,
            const std::smatch&) {
            if (auto flushed = tree->flush(); !flushed)
                return respondWithServiceError(response, flushed.error());
            response.status = 200;
            response.set_content("{}", jsonContentType);
        });
}

} // namespace LocalCloud
