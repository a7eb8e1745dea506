#pragma once

#include <string>

namespace LocalCloud {

// A failure as the service answers it: the HTTP status, the code of the
// "X-Error-Code" header and the JSON body, and the message beside it.
struct ServiceError {
    int status = 500;
    int code = 5000;
    std::string message;

    bool operator==(const ServiceError&) const = default;
};

namespace ServiceErrors {

// The codes the client knows.
inline constexpr int authenticationRequiredCode = 3001;
inline constexpr int fileNotFoundCode = 5004;
inline constexpr int folderExistsCode = 4014;
inline constexpr int invalidFileNameCode = 5011;
inline constexpr int pathTooLongCode = 5012;
inline constexpr int storageFullCode = 5013;
inline constexpr int notAllowedCode = 5047;
inline constexpr int invalidParametersCode = 1000;
inline constexpr int invalidRecipientsCode = 4025;
inline constexpr int shareInsideSharedFolderCode = 6010;
// Codes of the service's own, deliberately outside the client's table, so
// that a client reports them as what they are instead of mistaking them for
// a case it handles.
inline constexpr int fileExistsCode = 4091;
inline constexpr int contentMismatchCode = 4092;
inline constexpr int unknownRouteCode = 4999;
inline constexpr int internalCode = 5999;

inline ServiceError fileNotFound() { return { 404, fileNotFoundCode, "File not found" }; }
inline ServiceError folderExists() { return { 409, folderExistsCode, "A folder with this name exists" }; }
inline ServiceError fileExists() { return { 409, fileExistsCode, "A file with this name and other content exists" }; }
inline ServiceError invalidFileName() { return { 400, invalidFileNameCode, "Invalid file name" }; }
inline ServiceError pathTooLong() { return { 400, pathTooLongCode, "Path too long" }; }
inline ServiceError storageFull() { return { 507, storageFullCode, "Storage full" }; }
inline ServiceError notAllowed() { return { 403, notAllowedCode, "Operation not allowed" }; }
inline ServiceError invalidParameters() { return { 400, invalidParametersCode, "Invalid parameters" }; }
inline ServiceError contentMismatch()
{
    return { 400, contentMismatchCode, "The content does not match its announcement" };
}
inline ServiceError invalidRecipients() { return { 400, invalidRecipientsCode, "Invalid recipient list" }; }
inline ServiceError shareInsideSharedFolder()
{
    return { 403, shareInsideSharedFolderCode, "Shared folders must not hold shares" };
}
inline ServiceError unknownRoute() { return { 404, unknownRouteCode, "Unknown route" }; }
inline ServiceError internal(std::string message) { return { 500, internalCode, std::move(message) }; }
// A listed file whose content on the service's disk is not the recorded one
// (lost to a power cut or a faulty disk): it stays listed as recorded, so that
// no client takes it for deleted, but its content is never served.
inline ServiceError contentDamaged() { return internal("The content of the file is damaged"); }
template <class DatabaseFailure>
ServiceError databaseFailure(const DatabaseFailure& error)
{
    return internal("Database failure: " + error.message());
}

} // namespace ServiceErrors

} // namespace LocalCloud
