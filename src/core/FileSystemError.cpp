#include "core/FileSystemError.h"

#include <cerrno>
#include <cstring>

namespace nudgerly {

std::string describeSystemError(int errorNumber) {
    switch (errorNumber) {
        case ENOENT: return "The file or folder doesn't exist.";
        case EACCES:
        case EPERM: return "Permission was denied.";
        case ENOSPC: return "There isn't enough free space on the disk.";
        case EDQUOT: return "The disk quota has been exceeded.";
        case EROFS: return "The disk is read-only.";
        case EEXIST: return "An item with that name already exists.";
        case ENOTDIR: return "A part of the path is not a folder.";
        case EISDIR: return "The item is a folder.";
        case ENOTEMPTY: return "The folder is not empty.";
        case EIO: return "The disk reported an input/output error.";
        case ENAMETOOLONG: return "The file name is too long.";
        case EMFILE:
        case ENFILE: return "Too many files are open.";
        case EXDEV: return "The item cannot be moved to another disk this way.";
        case EBUSY: return "The item is in use.";
        case EFBIG: return "The file is too large.";
        case ELOOP: return "The path has too many symbolic links.";
        case ENOMEM: return "There isn't enough memory.";
        default: break;
    }
    // glibc's untranslated description; always English whatever the user's locale.
    if (const char* text = strerrordesc_np(errorNumber)) {
        return std::string(text) + ".";
    }
    return "Unknown error " + std::to_string(errorNumber) + ".";
}

FileSystemError::FileSystemError(const std::string& context, int errorNumber)
    : FileSystemError(context, errorNumber, describeSystemError(errorNumber)) {}

FileSystemError::FileSystemError(const std::string& context, int errorNumber, const std::string& reason)
    : UserFacingError(context + ": " + reason), errorNumber_(errorNumber) {}

}  // namespace nudgerly
