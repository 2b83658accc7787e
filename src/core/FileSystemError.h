#pragma once

#include <string>
#include <system_error>

#include "core/UserFacingError.h"

namespace nudgerly {

// A file-system failure told in plain English: "<context>: <reason>." The reason comes from a fixed
// English table, never from the C library's (possibly translated) message.
class FileSystemError : public UserFacingError {
public:
    FileSystemError(const std::string& context, int errorNumber);
    // With a reason of the caller's where the table's would mislead.
    FileSystemError(const std::string& context, int errorNumber, const std::string& reason);

    int errorNumber() const { return errorNumber_; }
    std::error_code code() const { return {errorNumber_, std::generic_category()}; }

private:
    int errorNumber_;
};

// A short English sentence for an errno value, e.g. "There isn't enough free space on the disk."
std::string describeSystemError(int errorNumber);

}  // namespace nudgerly
