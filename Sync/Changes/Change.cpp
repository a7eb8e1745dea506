#include "Sync/Changes/Change.hpp"

namespace Sync {

namespace {

std::string moveText(std::string_view prefix, const FileOperation& operation)
{
    return std::string(prefix) + operation.from()->path() + " to " + operation.file()->path();
}

std::string remoteText(const FileOperation& operation)
{
    const auto& path = operation.file()->path();
    switch (operation.kind()) {
    case FileOperation::Kind::Move:
        return moveText("Remote move ", operation);
    case FileOperation::Kind::Delete:
        return "Remote delete " + path;
    case FileOperation::Kind::Create:
        return "Upload " + path;
    case FileOperation::Kind::Update:
        return "Reupload " + path;
    case FileOperation::Kind::MetaData:
        // No factory forms it; the server has no metadata operation.
        return "Invalid change";
    }
    return {};
}

std::string localText(const FileOperation& operation)
{
    const auto& path = operation.file()->path();
    switch (operation.kind()) {
    case FileOperation::Kind::Move:
        return moveText("Local move ", operation);
    case FileOperation::Kind::Delete:
        return "Local delete " + path;
    case FileOperation::Kind::Create:
        return "Download " + path;
    case FileOperation::Kind::Update:
        return "Redownload " + path;
    case FileOperation::Kind::MetaData:
        return "Update Metadata for: " + path;
    }
    return {};
}

} // namespace

std::string Change::description() const
{
    switch (m_kind) {
    case Kind::Local:
        return localText(*m_operation);
    case Kind::Remote:
        return remoteText(*m_operation);
    case Kind::Invalid:
        break;
    }
    return "Invalid change";
}

} // namespace Sync
