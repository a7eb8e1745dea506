#include "Platform/FileSystem/FileSystemError.hpp"

#include <cerrno>
#include <cstring>

namespace Platform {

namespace {

FileSystemErrorCode codeFor(int error)
{
    switch (error) {
    case EEXIST: return FileSystemErrorCode::alreadyExists;
    case ENOENT: return FileSystemErrorCode::notFound;
    case ENOTDIR: return FileSystemErrorCode::notADirectory;
    case ENOTEMPTY: return FileSystemErrorCode::notEmpty;
    case EACCES:
    case EPERM:
    case EROFS: return FileSystemErrorCode::permissionDenied;
    case ENOTSUP: return FileSystemErrorCode::notSupported;
    case EXDEV: return FileSystemErrorCode::crossDevice;
    case ENOSPC:
    case EDQUOT: return FileSystemErrorCode::noSpace;
    case ELOOP: return FileSystemErrorCode::symbolicLink;
    case E2BIG:
    case ERANGE: return FileSystemErrorCode::tooLarge;
    case ENAMETOOLONG: return FileSystemErrorCode::nameTooLong;
    default: return FileSystemErrorCode::other;
    }
}

const char* reasonFor(FileSystemErrorCode code)
{
    switch (code) {
    case FileSystemErrorCode::alreadyExists: return "Item already exists";
    case FileSystemErrorCode::notFound: return "No such file or directory";
    case FileSystemErrorCode::notADirectory: return "Not a directory";
    case FileSystemErrorCode::notEmpty: return "Directory not empty";
    case FileSystemErrorCode::permissionDenied: return "Permission denied";
    case FileSystemErrorCode::notSupported: return "Operation not supported by the file system";
    case FileSystemErrorCode::crossDevice: return "Move across file systems";
    case FileSystemErrorCode::noSpace: return "No space left on device";
    case FileSystemErrorCode::invalidPath: return "Invalid path";
    case FileSystemErrorCode::symbolicLink: return "Path runs through a symbolic link";
    case FileSystemErrorCode::tooLarge: return "Value too large";
    case FileSystemErrorCode::watchLimit: return "Watch limit reached";
    case FileSystemErrorCode::nameTooLong: return "File name too long";
    case FileSystemErrorCode::other: break;
    }
    return "File system error";
}

}  // namespace

FileSystemError FileSystemError::fromErrno(int error, std::string path)
{
    return FileSystemError{codeFor(error), error, std::move(path)};
}

FileSystemError FileSystemError::make(FileSystemErrorCode code, std::string path)
{
    return FileSystemError{code, 0, std::move(path)};
}

std::string FileSystemError::description() const
{
    std::string text;
    if (code == FileSystemErrorCode::other && systemError != 0) {
        char buffer[256];
        // GNU strerror_r returns the message, which need not be in `buffer`.
        text = ::strerror_r(systemError, buffer, sizeof buffer);
    } else {
        text = reasonFor(code);
    }
    if (systemError != 0) {
        text += " (errno ";
        text += std::to_string(systemError);
        text += ")";
    }
    if (!path.empty()) {
        text += ": ";
        text += path;
    }
    return text;
}

}  // namespace Platform
