#include "modelpacks/ModelDownloadError.h"

#include <algorithm>

#include "modelpacks/DecimalGigabytes.h"

namespace nudgerly {

ModelDownloadError ModelDownloadError::insufficientDiskSpace(int64_t requiredBytes, int64_t availableBytes) {
    const std::string required = decimalGigabytes(std::max<int64_t>(requiredBytes, 0), 1);
    const std::string available = decimalGigabytes(std::max<int64_t>(availableBytes, 0), 1);
    return {Kind::insufficientDiskSpace,
            "At least " + required + " GB of free space is required (" + available + " GB available).", requiredBytes,
            availableBytes};
}

ModelDownloadError ModelDownloadError::unexpectedHTTPStatus(int status) {
    return {Kind::unexpectedHTTPStatus, "The model server returned HTTP " + std::to_string(status) + ".", status};
}

ModelDownloadError ModelDownloadError::incompleteDownload(int64_t expectedBytes, int64_t actualBytes) {
    return {Kind::incompleteDownload,
            "The model download was incomplete (expected " + std::to_string(expectedBytes) + " bytes, received " +
                std::to_string(actualBytes) + ").",
            expectedBytes, actualBytes};
}

ModelDownloadError ModelDownloadError::operationFailed(const std::string& sentence) {
    return {Kind::operationFailed, sentence};
}

ModelDownloadError ModelDownloadError::missingManifest() {
    return {Kind::missingManifest, "The signed model manifest is missing."};
}

ModelDownloadError ModelDownloadError::manifestMismatch() {
    return {Kind::manifestMismatch, "The signed model manifest does not match this version of Nudgerly."};
}

ModelDownloadError ModelDownloadError::invalidManifest() {
    return {Kind::invalidManifest, "The model manifest is invalid."};
}

ModelDownloadError ModelDownloadError::insecureRedirect() {
    return {Kind::insecureRedirect, "The model download attempted an insecure redirect."};
}

ModelDownloadError ModelDownloadError::checksumMismatch() {
    return {Kind::checksumMismatch, "The downloaded model failed its security verification."};
}

}  // namespace nudgerly
