#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"

#include "LocalCloud/Routes/JSONText.hpp"
#include "LocalCloud/Server/RequestParsing.hpp"
#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/DocumentTypes.hpp"

#include <nlohmann/json.hpp>

#include <charconv>
#include <set>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

namespace LocalCloud {

namespace {

using Handler = LocalCloudServer::Implementation::Handler;

void appendQuoted(std::string& out, const std::string& text)
{
    appendJSONString(out, text);
}

// Whether an "Accept-Encoding" value ("gzip, deflate;q=0.5") takes `coding`; a q of 0 refuses it.
bool acceptsCoding(const std::string& header, const std::string& coding)
{
    std::size_t position = 0;
    while (position <= header.size()) {
        auto end = header.find(',', position);
        if (end == std::string::npos)
            end = header.size();
        std::string_view item(header.data() + position, end - position);
        position = end + 1;
        auto semicolon = item.find(';');
        auto name = item.substr(0, semicolon);
        while (!name.empty() && name.front() == ' ')
            name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (name.size() != coding.size() || ::strncasecmp(name.data(), coding.data(), coding.size()) != 0)
            continue;
        if (semicolon == std::string_view::npos)
            return true;
        auto q = item.find("q=", semicolon);
        if (q == std::string_view::npos)
            return true;
        double weight = 1;
        std::from_chars(item.data() + q + 2, item.data() + item.size(), weight);
        return weight > 0;
    }
    return false;
}

} // namespace

void appendFileJSON(std::string& out, const FileView& file)
{
    const auto& record = file.record;
    out += "{\"id\":";
    out += std::to_string(record.id);
    out += ",\"parent_file_id\":";
    out += std::to_string(record.parentID);
    out += ",\"path\":";
    appendQuoted(out, file.path);
    out += ",\"name\":";
    appendQuoted(out, record.name);
    out += ",\"has_private_shares\":";
    out += record.privateShares > 0 ? "true" : "false";
    out += ",\"has_public_shares\":";
    out += record.shared ? "true" : "false";
    out += ",\"is_share_allowed_private\":";
    out += file.privatelySharable ? "true" : "false";
    out += ",\"is_share_allowed_public\":";
    out += file.publiclySharable ? "true" : "false";
    out += ",\"share_valid_to\":";
    out += record.shared && record.publicValidTo > 0 ? std::to_string(record.publicValidTo) : "null";
    out += ",\"share_with\":";
    out += std::to_string(record.privateShares);
    out += ",\"created\":";
    out += std::to_string(record.created);
    out += ",\"modified\":";
    out += std::to_string(record.modified);
    out += ",\"mime_type\":";
    appendQuoted(out, record.mimeType);
    out += ",\"file_size\":";
    out += std::to_string(record.size);
    out += ",\"file_hash\":";
    appendQuoted(out, record.hash);
    out += ",\"etag\":";
    appendQuoted(out, record.etag);
    out += '}';
}

std::string fileJSON(const FileView& file)
{
    std::string out;
    appendFileJSON(out, file);
    return out;
}

std::string filesJSON(const std::vector<FileView>& files)
{
    std::string out;
    out.reserve(files.size() * 320 + 2);
    out += '[';
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (index > 0)
            out += ',';
        appendFileJSON(out, files[index]);
    }
    out += ']';
    return out;
}

std::optional<std::string> LocalCloudServer::Implementation::sessionAccount(const httplib::Request& request,
    httplib::Response& response)
{
    if (auto user = accounts.sessionUser(request.get_header_value("Cookie")))
        return user;
    respondWithError(response, 401, ServiceErrors::authenticationRequiredCode, "Authentication required");
    return std::nullopt;
}

std::string LocalCloudServer::Implementation::quotaJSON(const std::string& account)
{
    auto stored = accounts.account(account);
    return quotaJSON(account, stored ? stored->quotaBytes : 0);
}

std::string LocalCloudServer::Implementation::quotaJSON(const std::string& account, std::int64_t totalBytes)
{
    return "{\"quota\":{\"total\":" + std::to_string(totalBytes) + ",\"used\":"
        + std::to_string(tree->usedBytes(account)) + "}}";
}

void LocalCloudServer::Implementation::respondForAccount(httplib::Response& response, const std::string& account,
    const std::string& dataJSON)
{
    respondWithEnvelope(response, dataJSON, quotaJSON(account));
}

void LocalCloudServer::Implementation::respondForAccount(httplib::Response& response, const std::string& account,
    std::int64_t totalBytes, const std::string& dataJSON)
{
    respondWithEnvelope(response, dataJSON, quotaJSON(account, totalBytes));
}

void LocalCloudServer::Implementation::addAccountRoute(const char* method, const char* pattern,
    std::function<void(const std::string&, const httplib::Request&, httplib::Response&, const RequestBody&,
        const std::smatch&)>
        serve)
{
    routes.push_back({ method, std::regex(pattern),
        [this, serve = std::move(serve)](const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch& match) {
            auto account = sessionAccount(request, response);
            if (!account) {
                body.discard(request);
                return;
            }
            serve(*account, request, response, body, match);
        } });
}

void LocalCloudServer::Implementation::installFileRoutes()
{
    auto route = [this](const char* method, const char* pattern, auto serve) {
        addAccountRoute(method, pattern, std::move(serve));
    };
    auto answerFiles = [this](httplib::Response& response, const std::string& account,
                           const std::expected<std::vector<FileView>, ServiceError>& files) {
        if (!files)
            return respondWithServiceError(response, files.error());
        respondForAccount(response, account, filesJSON(*files));
    };
    auto answerFile = [this](httplib::Response& response, const std::string& account,
                          const std::expected<FileView, ServiceError>& file) {
        if (!file)
            return respondWithServiceError(response, file.error());
        respondForAccount(response, account, fileJSON(*file));
    };
    auto selectRoute = [this, route, answerFiles](const char* pattern, std::function<bool(const ItemRecord&)> accept) {
        route("GET", pattern,
            [this, answerFiles, accept](const std::string& account, const httplib::Request&,
                httplib::Response& response, const RequestBody&, const std::smatch&) {
                answerFiles(response, account, tree->select(account, accept));
            });
    };

    route("GET", R"(/v2\.0/files)",
        [this, answerFiles](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody&, const std::smatch&) {
            std::optional<std::int64_t> folder;
            if (request.has_param("fileId")) {
                folder = integerFrom(request.get_param_value("fileId"));
                if (!folder)
                    return respondWithServiceError(response, ServiceErrors::invalidParameters());
            }
            std::optional<std::int64_t> depth;
            if (request.has_param("depth")) {
                depth = integerFrom(request.get_param_value("depth"));
                if (!depth)
                    return respondWithServiceError(response, ServiceErrors::invalidParameters());
            }
            bool recursive = depth == -1;
            answerFiles(response, account, tree->children(account, folder, recursive));
        });
    selectRoute(R"(/v2\.0/files/documents)",
        [](const ItemRecord& record) { return !record.folder() && Platform::isDocumentMimeType(record.mimeType); });
    selectRoute(R"(/v2\.0/files/photos)",
        [](const ItemRecord& record) { return !record.folder() && record.mimeType.starts_with("image"); });
    selectRoute(R"(/v2\.0/files/music)",
        [](const ItemRecord& record) { return !record.folder() && record.mimeType.starts_with("audio"); });
    selectRoute(R"(/v2\.0/shares/files)",
        [](const ItemRecord& record) { return record.shared != 0 || record.privateShares > 0; });
    route("GET", R"(/v2\.0/files/photos/ids)",
        [this](const std::string& account, const httplib::Request&, httplib::Response& response, const RequestBody&,
            const std::smatch&) {
            auto photos = tree->select(account,
                [](const ItemRecord& record) { return !record.folder() && record.mimeType.starts_with("image"); });
            if (!photos)
                return respondWithServiceError(response, photos.error());
            std::string out = "[";
            for (const auto& photo : *photos) {
                if (out.size() > 1)
                    out += ',';
                out += std::to_string(photo.record.id);
            }
            respondForAccount(response, account, out + "]");
        });
    route("GET", R"(/v2\.0/files/recents)",
        [this, answerFiles](const std::string& account, const httplib::Request&, httplib::Response& response,
            const RequestBody&, const std::smatch&) {
            auto files = tree->select(account, [](const ItemRecord& record) { return !record.folder(); });
            if (files) {
                std::ranges::stable_sort(*files, [](const FileView& left, const FileView& right) {
                    return left.record.changed != right.record.changed ? left.record.changed > right.record.changed
                                                                       : left.record.id > right.record.id;
                });
                if (files->size() > 100)
                    files->resize(100);
            }
            answerFiles(response, account, files);
        });
    route("GET", R"(/v2\.0/files/delta)",
        [this, answerFiles](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody&, const std::smatch&) {
            auto since = integerFrom(request.get_param_value("last_sync"));
            if (!since)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            // Changes in the second of the last answer's "Date" count again rather than not at all.
            auto changed = tree->select(account, [since = *since](const ItemRecord& record) { return record.changed >= since; });
            auto root = tree->root(account);
            if (!changed || !root)
                return respondWithServiceError(response, !changed ? changed.error() : root.error());
            // The root changes with everything below it and is reported like any folder.
            if (root->record.changed >= *since)
                changed->insert(changed->begin(), *root);
            auto out = filesJSON(*changed);
            // Deleted items as they were, with the time of their deletion.
            for (const auto& deleted : tree->deletedSince(account, *since)) {
                out.pop_back();
                if (out.size() > 1)
                    out += ',';
                appendFileJSON(out, deleted.file);
                out.pop_back();
                out += ",\"deleted\":" + std::to_string(deleted.deleted) + "}]";
            }
            respondForAccount(response, account, out);
        });
    route("GET", R"(/v2\.0/files/search)",
        [this, answerFiles](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody&, const std::smatch&) {
            auto count = request.has_param("count") ? integerFrom(request.get_param_value("count"))
                                                     : std::optional<std::int64_t>(50);
            if (!count || *count < 0)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            auto lowered = [](std::string text) {
                for (auto& character : text)
                    character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
                return text;
            };
            auto query = lowered(request.get_param_value("query"));
            // Every name holds the empty text: an empty query asks for nothing.
            if (query.empty())
                return respondForAccount(response, account, "[]");
            auto path = request.has_param("path") ? request.get_param_value("path") : std::string("/");
            answerFiles(response, account,
                tree->select(
                    account,
                    [&](const ItemRecord& record) { return lowered(record.name).find(query) != std::string::npos; },
                    path, static_cast<std::size_t>(*count)));
        });
    route("POST", R"(/v2\.0/files/getter)",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch&) {
            auto json = objectBody(request.get_header_value("Content-Type"), body.readAll(request));
            auto identifiers = json ? identifiersMember(*json, "file_ids") : std::nullopt;
            if (!identifiers)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            std::vector<FileView> files;
            std::set<std::int64_t> answered;
            for (auto identifier : *identifiers) {
                if (!answered.insert(identifier).second)
                    continue;
                // Unknown and foreign identifiers are left out, like deleted ones.
                if (auto file = tree->file(account, identifier))
                    files.push_back(std::move(*file));
            }
            respondForAccount(response, account, filesJSON(files));
        });
    route("GET", R"(/v2\.0/files/(-?\d+))",
        [this, answerFile](const std::string& account, const httplib::Request&, httplib::Response& response,
            const RequestBody&, const std::smatch& match) {
            answerFile(response, account, tree->file(account, identifierFrom(match)));
        });
    route("POST", R"(/v2\.0/files/folders)",
        [this, answerFile](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch&) {
            auto json = objectBody(request.get_header_value("Content-Type"), body.readAll(request));
            auto name = json ? stringMember(*json, "folder_name") : std::nullopt;
            std::optional<std::int64_t> parent;
            if (json && member(*json, "file_id")) {
                parent = integerMember(*json, "file_id");
                if (!parent)
                    name.reset();
            }
            if (!name)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            answerFile(response, account, tree->createFolder(account, parent, *name));
        });
    route("PUT", R"(/v2\.0/files/(-?\d+))",
        [this, answerFile](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch& match) {
            auto json = objectBody(request.get_header_value("Content-Type"), body.readAll(request));
            auto name = json ? stringMember(*json, "new_name") : std::nullopt;
            // The body may name the file too, but only the one the path names.
            if (json && member(*json, "file_id") && integerMember(*json, "file_id") != identifierFrom(match))
                name.reset();
            if (!name)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            answerFile(response, account, tree->rename(account, identifierFrom(match), *name));
        });
    route("POST", R"(/v2\.0/files/init)",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch&) {
            auto json = objectBody(request.get_header_value("Content-Type"), body.readAll(request));
            std::optional<Announcement> announcement;
            if (json) {
                auto parent = integerMember(*json, "parent_file_id");
                auto name = stringMember(*json, "name");
                auto mimeType = stringMember(*json, "mime_type");
                auto created = integerMember(*json, "created");
                auto modified = integerMember(*json, "modified");
                auto hash = stringMember(*json, "hash");
                auto size = integerMember(*json, "file_size");
                if (parent && name && mimeType && created && modified && hash && isContentHash(*hash) && size)
                    announcement = Announcement { *parent, *name, *mimeType, *created, *modified, *hash, *size };
            }
            if (!announcement)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            auto stored = accounts.account(account);
            auto total = stored ? stored->quotaBytes : 0;
            auto outcome = tree->announce(account, *announcement, total);
            if (!outcome)
                return respondWithServiceError(response, outcome.error());
            // Not the envelope: "upload" beside "data" asks for the content.
            std::string out = "{";
            if (outcome->needsContent)
                out += "\"upload\":true,";
            out += "\"data\":" + fileJSON(outcome->file) + ",\"meta\":" + quotaJSON(account, total) + "}";
            response.status = 200;
            response.set_content(out, jsonContentType);
        });
    route("PUT", R"(/v2\.0/files/(-?\d+)/stream)",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch& match) {
            auto identifier = identifierFrom(match);
            auto stored = accounts.account(account);
            auto total = stored ? stored->quotaBytes : 0;
            auto free = tree->freeBytesFor(account, identifier, total);
            auto announced = integerFrom(request.get_header_value("Content-Length"));
            if (announced && *announced > free) {
                body.discard(request);
                return respondWithServiceError(response, ServiceErrors::storageFull());
            }
            auto received = receiveContent(tree->temporaryContentPath(), request, body, free);
            if (!received) {
                response.set_header("Connection", "close");
                return respondWithServiceError(response, received.error());
            }
            if (request.has_header("Request-Hash"))
                received->requestHash = request.get_header_value("Request-Hash");
            if (request.has_header("Content-Type"))
                received->contentType = request.get_header_value("Content-Type");
            auto file = tree->storeContent(account, identifier, *received, total);
            if (!file)
                return respondWithServiceError(response, file.error());
            respondForAccount(response, account, total, fileJSON(*file));
        });
    route("GET", R"(/v2\.0/files/(-?\d+)/download)",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody&, const std::smatch& match) {
            auto content = tree->openContent(account, identifierFrom(match));
            if (!content)
                return respondWithServiceError(response, content.error());
            // Small bodies cost more to deflate than they save on loopback.
            bool deflate = content->second >= 64 * 1024 && acceptsCoding(request.get_header_value("Accept-Encoding"), "deflate");
            serveContent(content->first, static_cast<std::size_t>(content->second), deflate, response);
        });
    route("POST", R"(/v2\.0/files/deleter)",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch&) {
            auto json = objectBody(request.get_header_value("Content-Type"), body.readAll(request));
            auto identifiers = json ? identifiersMember(*json, "file_ids") : std::nullopt;
            if (!identifiers)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            auto outcome = tree->remove(account, *identifiers);
            nlohmann::json errors = nlohmann::json::array();
            for (const auto& error : outcome.errors)
                errors.push_back({ { "code", error.code }, { "message", error.message } });
            respondForAccount(response, account,
                nlohmann::json { { "success", outcome.deleted }, { "errors", errors } }.dump());
        });
    route("POST", R"(/v2\.0/files/mover)",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch&) {
            auto json = objectBody(request.get_header_value("Content-Type"), body.readAll(request));
            auto identifiers = json ? identifiersMember(*json, "file_ids") : std::nullopt;
            auto destination = json ? integerMember(*json, "destination_folder_id") : std::nullopt;
            if (!identifiers || !destination)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            // A destination that is not a folder of the account rejects the whole call.
            auto folder = tree->file(account, *destination);
            if (!folder)
                return respondWithServiceError(response, folder.error());
            if (!folder->record.folder())
                return respondWithServiceError(response, ServiceErrors::notAllowed());
            auto outcome = tree->move(account, *identifiers, *destination);
            respondForAccount(response, account,
                "{\"success\":" + filesJSON(outcome.moved) + ",\"errors\":" + nlohmann::json(outcome.failed).dump()
                    + "}");
        });
}

} // namespace LocalCloud
