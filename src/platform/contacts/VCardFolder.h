#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

// The card files of a contacts folder, as contact-sync programs keep them: every "*.vcf" below it.
namespace nudgerly::VCardFolder {

struct Listing {
    std::vector<std::string> files;   // paths relative to the folder, "/"-separated, in byte order
    std::vector<std::string> errors;  // a plain sentence for each subfolder that could not be listed
};

// Every file named "*.vcf" (any case) below `folder`, and links to such files; linked folders are not
// followed. A missing folder has no files. Throws CancelledError when `stop` is requested.
Listing list(const std::filesystem::path& folder, std::stop_token stop);

// The sentence that starts the report of a card file that cannot be read.
std::string readFailureContext(const std::string& relativePath);

}  // namespace nudgerly::VCardFolder
