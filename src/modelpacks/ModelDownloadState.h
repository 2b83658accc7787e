#pragma once

#include <cstdint>
#include <string>

namespace nudgerly {

// Where a pack's download stands, as the window shows it.
struct ModelDownloadState {
    enum class Kind {
        missing,      // no model file on disk
        downloading,  // transfer running: receivedBytes of totalBytes; or waiting for the network
        paused,       // transfer stopped, resume data stored
        verifying,    // size and digest check running
        installed,    // verified file and receipt in place
        failed,       // the last operation failed: message, shown as it is
    };

    Kind kind = Kind::missing;
    int64_t receivedBytes = 0;
    int64_t totalBytes = 0;
    std::string message;
    // Downloading, but the host cannot be reached: the transfer tries again until it can.
    bool waitingForNetwork = false;

    static ModelDownloadState missing() { return {}; }
    static ModelDownloadState downloading(int64_t receivedBytes, int64_t totalBytes) {
        return {.kind = Kind::downloading, .receivedBytes = receivedBytes, .totalBytes = totalBytes};
    }
    static ModelDownloadState waiting(int64_t receivedBytes, int64_t totalBytes) {
        return {.kind = Kind::downloading,
                .receivedBytes = receivedBytes,
                .totalBytes = totalBytes,
                .waitingForNetwork = true};
    }
    static ModelDownloadState paused() { return {.kind = Kind::paused}; }
    static ModelDownloadState verifying() { return {.kind = Kind::verifying}; }
    static ModelDownloadState installed() { return {.kind = Kind::installed}; }
    static ModelDownloadState failed(std::string message) {
        return {.kind = Kind::failed, .message = std::move(message)};
    }

    friend bool operator==(const ModelDownloadState&, const ModelDownloadState&) = default;
};

}  // namespace nudgerly
