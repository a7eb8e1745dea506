#include "Sync/Changes/FileOperation.hpp"

namespace Sync {

FileOperation FileOperation::move(FileRef from, FileRef to)
{
    return FileOperation(Kind::Move, std::move(from), std::move(to));
}

FileOperation FileOperation::deletion(FileRef file)
{
    return FileOperation(Kind::Delete, nullptr, std::move(file));
}

FileOperation FileOperation::create(FileRef file)
{
    return FileOperation(Kind::Create, nullptr, std::move(file));
}

FileOperation FileOperation::update(FileRef file)
{
    return FileOperation(Kind::Update, nullptr, std::move(file));
}

FileOperation FileOperation::metaData(FileRef file)
{
    return FileOperation(Kind::MetaData, nullptr, std::move(file));
}

std::string FileOperation::description() const
{
    switch (m_kind) {
    case Kind::Move:
        return "Move " + m_file->description();
    case Kind::Delete:
        return "Delete " + m_file->description();
    case Kind::Create:
        return "Create " + m_file->description();
    case Kind::Update:
        return "Update " + m_file->description();
    case Kind::MetaData:
        return "Update Metadata " + m_file->description();
    }
    return {};
}

bool operator==(const FileOperation& left, const FileOperation& right)
{
    if (left.m_kind != right.m_kind)
        return false;
    if (left.m_kind == FileOperation::Kind::Move && !(*left.m_from == *right.m_from))
        return false;
    return *left.m_file == *right.m_file;
}

} // namespace Sync
