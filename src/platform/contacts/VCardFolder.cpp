#include "platform/contacts/VCardFolder.h"

#include <algorithm>

#include "core/CancelledError.h"
#include "core/FileSystemError.h"
#include "core/Text.h"

namespace nudgerly::VCardFolder {
namespace {

namespace fs = std::filesystem;

constexpr int deepestFolder = 32;

bool isCardFileName(const std::string& name) {
    constexpr std::string_view extension = ".vcf";
    if (name.size() <= extension.size()) {
        return false;
    }
    return text::equalsIgnoringAsciiCase(std::string_view(name).substr(name.size() - extension.size()), extension);
}

std::string quoted(const std::string& name) {
    return "\u201C" + name + "\u201D";
}

void collect(const fs::path& folder, const fs::path& relative, int depth, Listing& listing, std::stop_token stop) {
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        const fs::path& path = entries->path();
        const fs::path entryRelative = relative / path.filename();
        std::error_code statusError;
        const fs::file_type type = entries->symlink_status(statusError).type();
        if (type == fs::file_type::directory) {
            if (depth < deepestFolder) {
                collect(path, entryRelative, depth + 1, listing, stop);
            }
        } else if ((type == fs::file_type::regular || type == fs::file_type::symlink) &&
                   isCardFileName(path.filename().string())) {
            // A link is taken unless it leads to something other than a file; a broken one is kept so
            // that reading it reports why.
            const fs::file_type target = fs::status(path, statusError).type();
            if (target == fs::file_type::regular || target == fs::file_type::not_found || statusError) {
                listing.files.push_back(entryRelative.generic_string());
            }
        }
    }
    if (error) {
        const std::string name = relative.empty() ? folder.filename().string() : relative.generic_string();
        listing.errors.push_back(
            FileSystemError("Couldn't list the contacts folder " + quoted(name), error.value()).what());
    }
}

}  // namespace

Listing list(const fs::path& folder, std::stop_token stop) {
    Listing listing;
    std::error_code error;
    if (!fs::exists(folder, error)) {
        return listing;
    }
    collect(folder, {}, 0, listing, stop);
    std::sort(listing.files.begin(), listing.files.end());
    return listing;
}

std::string readFailureContext(const std::string& relativePath) {
    return "Couldn't read the contacts file " + quoted(relativePath);
}

}  // namespace nudgerly::VCardFolder
