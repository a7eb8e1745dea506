#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"

#include "LocalCloud/Server/RequestParsing.hpp"

#include <nlohmann/json.hpp>

namespace LocalCloud {

namespace {

nlohmann::json ownerObject(const AccountRecord& account, const CustomerRecord& customer)
{
    return { { "cid", account.customerID }, { "first_name", customer.firstName }, { "last_name", customer.lastName },
        { "email", customer.email } };
}

std::string displayName(const CustomerRecord& customer)
{
    if (!customer.firstName.empty() && !customer.lastName.empty())
        return customer.firstName + " " + customer.lastName;
    return customer.firstName.empty() ? customer.lastName : customer.firstName;
}

} // namespace

std::string LocalCloudServer::Implementation::origin() const
{
    return "http://" + options.host + ":" + std::to_string(port);
}

std::string LocalCloudServer::Implementation::ownerJSON(const std::string& login)
{
    auto account = accounts.account(login).value_or(AccountRecord {});
    return ownerObject(account, accounts.customer(login)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string LocalCloudServer::Implementation::shareJSON(const ShareRecord& share, const std::string& viewer)
{
    nlohmann::json json { { "type", share.type }, { "id", share.id }, { "file_id", share.fileID } };
    if (share.isPublic()) {
        json["url"] = origin() + "/public/" + share.token;
        json["share_valid_to"] = share.validTo == 0 ? nlohmann::json() : nlohmann::json(share.validTo);
    } else {
        auto owner = accounts.account(share.owner).value_or(AccountRecord {});
        auto file = tree->file(share.owner, share.fileID);
        json["is_mine"] = share.owner == viewer;
        json["status"] = share.status;
        auto name = share.recipient.empty() ? std::string() : displayName(accounts.customer(share.recipient));
        json["display_name"] = name.empty() ? nlohmann::json() : nlohmann::json(name);
        json["display_email"] = share.email;
        json["name"] = file ? file->record.name : std::string();
        json["cid"] = owner.customerID;
    }
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void LocalCloudServer::Implementation::installShareRoutes()
{
    auto list = [this](const std::vector<ShareRecord>& shares, const std::string& viewer) {
        std::string out = "[";
        for (const auto& share : shares) {
            if (out.size() > 1)
                out += ',';
            out += shareJSON(share, viewer);
        }
        return out + "]";
    };

    addAccountRoute("POST", R"(/v2\.0/shares)",
        [this, list](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch&) {
            auto json = objectBody(request.get_header_value("Content-Type"), body.readAll(request));
            auto type = json ? stringMember(*json, "type") : std::nullopt;
            auto fileID = json ? integerMember(*json, "file_id") : std::nullopt;
            if (!type || !fileID)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            if (*type == "public") {
                auto days = integerMember(*json, "valid_to");
                if (!days)
                    return respondWithServiceError(response, ServiceErrors::invalidParameters());
                auto share = shares->createPublicLink(account, *fileID, *days);
                if (!share)
                    return respondWithServiceError(response, share.error());
                return respondForAccount(response, account, list({ *share }, account));
            }
            auto message = stringMember(*json, "message");
            auto recipients = stringsMember(*json, "share_with");
            if (*type != "private" || !message || !recipients)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            auto created = shares->createPrivateShares(account, *fileID, *message, *recipients,
                [this](const std::string& address) { return accounts.loginOfAddress(address).value_or(""); });
            if (!created)
                return respondWithServiceError(response, created.error());
            respondForAccount(response, account, list(*created, account));
        });
    addAccountRoute("PATCH", R"(/v2\.0/shares/(-?\d+))",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch& match) {
            auto json = objectBody(request.get_header_value("Content-Type"), body.readAll(request));
            auto days = json ? integerMember(*json, "valid_to") : std::nullopt;
            if (!days)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            auto share = shares->updateLifetime(account, identifierFrom(match), *days);
            if (!share)
                return respondWithServiceError(response, share.error());
            respondForAccount(response, account, shareJSON(*share, account));
        });
    addAccountRoute("DELETE", R"(/v2\.0/shares/(-?\d+))",
        [this](const std::string& account, const httplib::Request&, httplib::Response& response, const RequestBody&,
            const std::smatch& match) {
            if (auto removed = shares->remove(account, identifierFrom(match)); !removed)
                return respondWithServiceError(response, removed.error());
            respondForAccount(response, account, "{}");
        });
    addAccountRoute("DELETE", R"(/v2\.0/shares/files/(-?\d+))",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody&, const std::smatch& match) {
            auto type = request.get_param_value("type");
            if (request.has_param("type") && type != "public" && type != "private")
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            if (auto removed = shares->removeForFile(account, identifierFrom(match), type); !removed)
                return respondWithServiceError(response, removed.error());
            respondForAccount(response, account, "{}");
        });
    addAccountRoute("GET", R"(/v2\.0/shares/files/(-?\d+))",
        [this, list](const std::string& account, const httplib::Request&, httplib::Response& response,
            const RequestBody&, const std::smatch& match) {
            auto identifier = identifierFrom(match);
            if (auto file = tree->file(account, identifier); !file)
                return respondWithServiceError(response, file.error());
            respondForAccount(response, account, list(shares->sharesOfFile(account, identifier), account));
        });
    addAccountRoute("GET", R"(/v2\.0/files/(-?\d+)/shareinfos)",
        [this, list](const std::string& account, const httplib::Request&, httplib::Response& response,
            const RequestBody&, const std::smatch& match) {
            auto identifier = identifierFrom(match);
            if (auto file = tree->file(account, identifier); !file)
                return respondWithServiceError(response, file.error());
            respondForAccount(response, account,
                "{\"owner\":" + ownerJSON(account) + ",\"shares\":" + list(shares->sharesOfFile(account, identifier), account)
                    + "}");
        });
    addAccountRoute("GET", R"(/v2\.0/shares/owner/(-?\d+))",
        [this](const std::string& account, const httplib::Request&, httplib::Response& response, const RequestBody&,
            const std::smatch& match) {
            auto login = accounts.loginOfCustomer(identifierFrom(match));
            // Only someone the account shares with is known to it; any other number is answered as unknown.
            if (!login || (*login != account && !shares->sharesBetween(account, *login)))
                return respondWithServiceError(response, ServiceErrors::fileNotFound());
            // The owner itself, without the envelope.
            response.status = 200;
            response.set_content(ownerJSON(*login), jsonContentType);
        });
    addAccountRoute("GET", R"(/v2\.0/files/(-?\d+)/permissions)",
        [this](const std::string& account, const httplib::Request&, httplib::Response& response, const RequestBody&,
            const std::smatch& match) {
            auto file = tree->file(account, identifierFrom(match));
            if (!file)
                return respondWithServiceError(response, file.error());
            respondForAccount(response, account,
                nlohmann::json { { "is_share_allowed_private", file->privatelySharable },
                    { "is_share_allowed_public", file->publiclySharable } }
                    .dump());
        });
    addAccountRoute("GET", R"(/v2\.0/shares)",
        [this, list](const std::string& account, const httplib::Request&, httplib::Response& response,
            const RequestBody&, const std::smatch&) {
            respondForAccount(response, account, list(shares->sharesOf(account), account));
        });
    addAccountRoute("GET", R"(/v2\.0/shares/pending)",
        [this, list](const std::string& account, const httplib::Request&, httplib::Response& response,
            const RequestBody&, const std::smatch&) {
            respondForAccount(response, account, list(shares->pendingFor(account), account));
        });
    addAccountRoute("PUT", R"(/v2\.0/shares/(accept|refuse))",
        [this](const std::string& account, const httplib::Request& request, httplib::Response& response,
            const RequestBody& body, const std::smatch& match) {
            bool accept = match[1].str() == "accept";
            auto json = objectBody(request.get_header_value("Content-Type"), body.readAll(request));
            auto shareID = json ? integerMember(*json, "share_id") : std::nullopt;
            std::optional<std::int64_t> parent;
            std::optional<std::string> name;
            bool wellFormed = shareID.has_value();
            if (wellFormed && accept && member(*json, "target_parent_folder_id")) {
                parent = integerMember(*json, "target_parent_folder_id");
                wellFormed = parent.has_value();
            }
            if (wellFormed && accept && member(*json, "target_folder_name")) {
                name = stringMember(*json, "target_folder_name");
                wellFormed = name.has_value();
            }
            if (!wellFormed)
                return respondWithServiceError(response, ServiceErrors::invalidParameters());
            auto share = shares->answer(account, *shareID, accept, parent, name);
            if (!share)
                return respondWithServiceError(response, share.error());
            respondForAccount(response, account, accept ? shareJSON(*share, account) : "{}");
        });

    // A public link is the whole of its own authorisation: no session.
    routes.push_back({ "GET", std::regex(R"(/public/([0-9a-f]+))"),
        [this](const httplib::Request&, httplib::Response& response, const RequestBody&, const std::smatch& match) {
            auto share = shares->publicLink(match[1].str());
            if (!share)
                return respondWithServiceError(response, ServiceErrors::fileNotFound());
            auto content = tree->openContent(share->owner, share->fileID);
            if (!content)
                return respondWithServiceError(response,
                    content.error().code == ServiceErrors::notAllowedCode ? content.error() : ServiceErrors::fileNotFound());
            auto file = tree->file(share->owner, share->fileID);
            serveContent(content->first, static_cast<std::size_t>(content->second), false, response,
                file ? file->record.mimeType : std::string("application/octet-stream"));
            servePublicContentAsDownload(response, file ? file->record.name : std::string("download"));
        } });
}

} // namespace LocalCloud
