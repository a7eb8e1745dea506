#pragma once

#include "Quarlink/Coding/JSONEncoder.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace Quarlink {

// A new folder with a name, in a parent folder or without a parent
// identifier: POST "files/folders" with {"folder_name", "file_id"} ("file_id"
// only with a parent). The answer is the new folder.
class CreateFolderRequest {
public:
    struct Payload {
        std::string folderName;
        // The parent folder; left out of the body when absent.
        std::optional<std::int64_t> fileID;

        void encode(JSONObjectWriter& writer) const
        {
            writer.encode("folderName", folderName);
            writer.encode("fileID", fileID);
        }
    };

    using SuccessValue = CloudMetaPackage<File>;
    static constexpr RequestTraits traits { .body = BodyKind::payloadJSON, .needsAuthentication = true, .enveloped = true,
        .overrides = { RequestMember::method } };

    explicit CreateFolderRequest(std::string folderName, std::optional<std::int64_t> parentID = std::nullopt)
        : m_payload { std::move(folderName), parentID }
    {
    }

    [[nodiscard]] std::string path() const { return "files/folders"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::post; }
    [[nodiscard]] const Payload& payload() const { return m_payload; }

private:
    Payload m_payload;
};

// A new name for a file or folder: PUT "files/<id>" with {"new_name", "file_id"}.
// The answer is the item under its new name.
struct RenameFileRequest {
    using SuccessValue = CloudMetaPackage<File>;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON, .needsAuthentication = true, .enveloped = true,
        .overrides = { RequestMember::method } };

    std::string newName;
    std::int64_t fileID { 0 };

    [[nodiscard]] std::string path() const { return "files/" + std::to_string(fileID); }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::put; }
    void encode(JSONObjectWriter& writer) const
    {
        writer.encode("newName", newName);
        writer.encode("fileID", fileID);
    }
};

} // namespace Quarlink
