#pragma once

#include <cstdint>
#include <string>

#include "core/UserFacingError.h"

namespace nudgerly {

// The errors of model packs, their downloads and their verification. what() is the user's sentence.
class ModelDownloadError : public UserFacingError {
public:
    enum class Kind {
        insufficientDiskSpace,  // requiredBytes, availableBytes
        unexpectedHTTPStatus,   // httpStatus
        incompleteDownload,     // expectedBytes, actualBytes
        operationFailed,        // the sentence itself
        missingManifest,
        manifestMismatch,
        invalidManifest,
        insecureRedirect,
        checksumMismatch,
    };

    static ModelDownloadError insufficientDiskSpace(int64_t requiredBytes, int64_t availableBytes);
    static ModelDownloadError unexpectedHTTPStatus(int status);
    static ModelDownloadError incompleteDownload(int64_t expectedBytes, int64_t actualBytes);
    static ModelDownloadError operationFailed(const std::string& sentence);
    static ModelDownloadError missingManifest();
    static ModelDownloadError manifestMismatch();
    static ModelDownloadError invalidManifest();
    static ModelDownloadError insecureRedirect();
    static ModelDownloadError checksumMismatch();

    Kind kind() const { return kind_; }
    // The payload; 0 for kinds that do not carry the value.
    int64_t requiredBytes() const { return kind_ == Kind::insufficientDiskSpace ? first_ : 0; }
    int64_t availableBytes() const { return kind_ == Kind::insufficientDiskSpace ? second_ : 0; }
    int httpStatus() const { return kind_ == Kind::unexpectedHTTPStatus ? static_cast<int>(first_) : 0; }
    int64_t expectedBytes() const { return kind_ == Kind::incompleteDownload ? first_ : 0; }
    int64_t actualBytes() const { return kind_ == Kind::incompleteDownload ? second_ : 0; }

    friend bool operator==(const ModelDownloadError& a, const ModelDownloadError& b) {
        return a.kind_ == b.kind_ && a.first_ == b.first_ && a.second_ == b.second_ &&
               std::string(a.what()) == b.what();
    }

private:
    ModelDownloadError(Kind kind, const std::string& sentence, int64_t first = 0, int64_t second = 0)
        : UserFacingError(sentence), kind_(kind), first_(first), second_(second) {}

    Kind kind_;
    int64_t first_;
    int64_t second_;
};

}  // namespace nudgerly
