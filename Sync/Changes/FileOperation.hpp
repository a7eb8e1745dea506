#pragma once

// Sync/Changes: what a sync run does to one item and on which side, and how
// two views of the cloud folder turn into an ordered list of such changes.

#include "Sync/Model/File.hpp"

#include <string>

namespace Sync {

// What is to be done to one item. Holds its files by reference (never null);
// the files are the very objects the change computation was given. An
// immutable value.
class FileOperation {
public:
    // Never renumber: the order is the order of the cases.
    enum class Kind { Move, Delete, Create, Update, MetaData };

    // The item `from` is to be moved or renamed so that it becomes `to`.
    [[nodiscard]] static FileOperation move(FileRef from, FileRef to);
    [[nodiscard]] static FileOperation deletion(FileRef file);
    [[nodiscard]] static FileOperation create(FileRef file);
    [[nodiscard]] static FileOperation update(FileRef file);
    // Only the item's metadata (its share information) is to be brought up to date.
    [[nodiscard]] static FileOperation metaData(FileRef file);

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] bool isMove() const { return m_kind == Kind::Move; }
    [[nodiscard]] bool isDelete() const { return m_kind == Kind::Delete; }
    // The operation's file; for a move, the destination `to`.
    [[nodiscard]] const FileRef& file() const { return m_file; }
    // The source of a move; for every other kind the same as file().
    [[nodiscard]] const FileRef& from() const { return m_from ? m_from : m_file; }

    // "Move " + the destination's description, "Delete ", "Create ",
    // "Update " or "Update Metadata " + the file's description.
    [[nodiscard]] std::string description() const;

    // Same kind and equal files (File equality; for moves `from` first, then `to`).
    friend bool operator==(const FileOperation& left, const FileOperation& right);

private:
    FileOperation(Kind kind, FileRef from, FileRef file)
        : m_kind(kind)
        , m_from(std::move(from))
        , m_file(std::move(file))
    {
    }

    Kind m_kind;
    FileRef m_from;
    FileRef m_file;
};

// Whether the operation moves a file's content (a new file or new content of
// one), either way, and nothing else: no folder, no move, no delete.
[[nodiscard]] inline bool carriesContent(const FileOperation& operation)
{
    return (operation.kind() == FileOperation::Kind::Create || operation.kind() == FileOperation::Kind::Update)
        && !isFolder(*operation.file());
}

} // namespace Sync
