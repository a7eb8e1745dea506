#pragma once

#include "Sync/Changes/FileOperation.hpp"

#include <optional>
#include <string>

namespace Sync {

// On which side an operation is to be carried out: `local` on the disk and
// in the stored state, `remote` on the server, or `invalid` when no change
// can be carried out (not carried out; the phase is computed again). Made by
// the factories in ChangeFactories.hpp. An immutable value.
class Change {
public:
    enum class Kind { Local, Remote, Invalid };

    [[nodiscard]] static Change local(FileOperation operation) { return Change(Kind::Local, std::move(operation)); }
    [[nodiscard]] static Change remote(FileOperation operation) { return Change(Kind::Remote, std::move(operation)); }
    [[nodiscard]] static Change invalid() { return Change(Kind::Invalid, std::nullopt); }

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] bool isLocal() const { return m_kind == Kind::Local; }
    // True for every change that is not local: the remote case AND invalid
    // changes. Test kind() == Kind::Remote for the remote case alone.
    [[nodiscard]] bool isRemote() const { return m_kind != Kind::Local; }
    [[nodiscard]] bool isInvalid() const { return m_kind == Kind::Invalid; }
    // The operation of a local or remote change; nothing for invalid.
    [[nodiscard]] const std::optional<FileOperation>& fileOperation() const { return m_operation; }

    // "Upload /a.txt", "Remote move /a.txt to /B/a.txt", "Download /a.txt",
    // "Update Metadata for: /a.txt", "Invalid change", ...
    [[nodiscard]] std::string description() const;

    // Same kind and equal operations; two invalid changes are equal.
    friend bool operator==(const Change& left, const Change& right)
    {
        return left.m_kind == right.m_kind && left.m_operation == right.m_operation;
    }

private:
    Change(Kind kind, std::optional<FileOperation> operation)
        : m_kind(kind)
        , m_operation(std::move(operation))
    {
    }

    Kind m_kind;
    std::optional<FileOperation> m_operation;
};

} // namespace Sync
