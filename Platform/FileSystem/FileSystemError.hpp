// Platform/FileSystem: small layers over the Linux file system that the sync
// engine needs (enumeration, identity, extended attributes, moves, Trash, MIME
// types, the cloud-folder path resolver and the recursive folder watcher).
// This header holds the one error type every operation of the layer returns.
#pragma once

#include <string>

namespace Platform {

// What went wrong, independent of the system call that failed. Callers that
// count "already there" or "already gone" as success test for
// `alreadyExists` and `notFound`.
enum class FileSystemErrorCode {
    alreadyExists,     // the destination or the directory is already there
    notFound,          // the item (or its parent) does not exist, or vanished
    notADirectory,     // a directory was expected where something else is
    notEmpty,          // a directory that had to be empty is not
    permissionDenied,  // EACCES or EPERM
    notSupported,      // the file system cannot do it (user xattrs, rename flags)
    crossDevice,       // a move across file systems
    noSpace,           // the device or a quota is full
    invalidPath,       // a relative path with "..", ".", an empty component, NUL or bad UTF-8
    symbolicLink,      // a path runs through a symbolic link where none may be
    tooLarge,          // a value too large for the file system
    watchLimit,        // the inotify watch limit is exhausted
    nameTooLong,       // a name (or path) longer than the file system allows
    other,             // any other system error; see `systemError`
};

struct [[nodiscard]] FileSystemError {
    FileSystemErrorCode code = FileSystemErrorCode::other;
    int systemError = 0;  // the errno value, 0 when the layer itself refused
    std::string path;     // the path the operation was about

    // Maps an errno value of a failed call on `path`.
    static FileSystemError fromErrno(int error, std::string path);
    static FileSystemError make(FileSystemErrorCode code, std::string path);

    // One line for logs: the reason, then the path ("No such file or directory: /a/b").
    std::string description() const;

    friend bool operator==(const FileSystemError&, const FileSystemError&) = default;
};

}  // namespace Platform
