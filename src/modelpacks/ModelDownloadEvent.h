#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

namespace nudgerly {

// Identifies one transfer or one verification of a download manager; late news carrying an id that is
// no longer current is dropped.
using ModelDownloadOperationID = uint64_t;

// The outcome of one transfer.
struct ModelDownloadCompletion {
    std::optional<std::filesystem::path> stagedFilePath;  // the finished file, already at the staging path
    std::optional<std::string> stagedFileSha256;          // its digest, taken as the bytes arrived
    std::optional<std::string> resumeData;                // resume data the failed transfer left
    std::optional<int> httpStatusCode;                    // status of the last HTTP answer
    bool insecureRedirect = false;                        // a redirect was refused
    std::optional<std::string> errorMessage;              // why the transfer or the staging failed

    friend bool operator==(const ModelDownloadCompletion&, const ModelDownloadCompletion&) = default;
};

struct ModelDownloadProgress {
    int64_t receivedBytes = 0;
    int64_t totalBytes = 0;  // -1 when unknown

    friend bool operator==(const ModelDownloadProgress&, const ModelDownloadProgress&) = default;
};

// The host cannot be reached; the transfer keeps trying.
struct ModelDownloadWaiting {
    friend bool operator==(const ModelDownloadWaiting&, const ModelDownloadWaiting&) = default;
};

// What a transfer tells its manager.
struct ModelDownloadEvent {
    ModelDownloadOperationID operationID = 0;
    std::variant<ModelDownloadProgress, ModelDownloadWaiting, ModelDownloadCompletion> kind;

    friend bool operator==(const ModelDownloadEvent&, const ModelDownloadEvent&) = default;
};

}  // namespace nudgerly
