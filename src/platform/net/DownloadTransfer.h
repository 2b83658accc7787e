#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace nudgerly {

// Settings of one download transfer.
struct DownloadConfiguration {
    // Private folder, on the same volume as the files' final place, that holds the partial bodies
    // ("CFNetworkDownload_<letters and digits>.tmp"). Created when needed.
    std::filesystem::path temporaryDirectory;
    // A transfer that receives nothing for this long (while connecting, waiting for the answer or
    // between bytes of the body) fails as timed out.
    std::chrono::milliseconds requestTimeout{60'000};
    // The whole transfer, redirects included, must end within this time.
    std::chrono::milliseconds resourceTimeout{std::chrono::hours(24 * 7)};
    // When the host cannot be resolved or connected to (the machine is offline, the host is down),
    // keep trying until the resource time-out instead of failing at once.
    bool waitsForConnectivity = false;
    // Progress reaches the delegate at most this often.
    std::chrono::milliseconds progressInterval{100};
    // The partial body is made durable and its resume data handed over when the body starts, and
    // then after this many more bytes or this much time, whichever comes first: a process killed
    // mid-way, or a power loss, costs at most that much of the download.
    int64_t checkpointBytes = int64_t{256} << 20;
    std::chrono::milliseconds checkpointInterval{30'000};
    // A PEM file of certificates to trust instead of the system's (tests with a self-signed server).
    std::optional<std::string> caFile;
};

// How a transfer ended.
struct DownloadOutcome {
    // Status of the last HTTP answer, when one came.
    std::optional<long> httpStatusCode;
    // Why the transfer failed (a short English sentence); absent when it ran to the end of an answer,
    // whatever its status.
    std::optional<std::string> errorMessage;
    // Present when the transfer can be taken up again from where it stopped.
    std::optional<std::string> resumeData;

    friend bool operator==(const DownloadOutcome&, const DownloadOutcome&) = default;
};

// Receives a transfer's events, on the transfer's own thread, one at a time.
class DownloadTransferDelegate {
public:
    virtual ~DownloadTransferDelegate() = default;

    // Bytes of the body now held (counting those kept from before a resume) and the expected total,
    // -1 when the server did not say.
    virtual void transferDidWriteData(int64_t totalBytesWritten, int64_t totalBytesExpected) = 0;
    // The server redirects to `url` (absolute); true follows it. A refused redirect ends the transfer
    // with the redirect's status and no error.
    virtual bool transferShouldFollowRedirect(const std::string& url) = 0;
    // A 2xx answer arrived whole; `sha256` is the digest of the file's bytes as they arrived, in
    // lowercase hex. The file is deleted when this returns, so move it away here.
    virtual void transferDidFinishDownloading(const std::filesystem::path& temporaryFile,
                                              const std::string& sha256) = 0;
    // The partial body is on disk up to here: the transfer can be taken up from `resumeData` even if
    // this process ends before the transfer does (see DownloadConfiguration::checkpointBytes).
    virtual void transferDidSaveResumeData(const std::string& resumeData) = 0;
    // The host could not be reached while waitsForConnectivity is set: the transfer tries again every
    // few seconds. Told once, at the first failed connection; progress or the end follow.
    virtual void transferIsWaitingForConnectivity() = 0;
    // The last event of every started transfer. Answers other than 2xx leave no body behind.
    virtual void transferDidComplete(const DownloadOutcome& outcome) = 0;
};

// One GET of one file into a temporary file, on a worker thread of its own. Dropping the handle lets
// a started transfer run to its end; cancel it to stop it. Every method may be called from any thread
// and returns at once.
class DownloadTransfer {
public:
    virtual ~DownloadTransfer() = default;

    // The address first asked for, and the one the latest redirect led to; absent for a transfer
    // made from resume data that does not name them.
    virtual std::optional<std::string> originalUrl() const = 0;
    virtual std::optional<std::string> currentUrl() const = 0;

    // Starts the transfer; later calls do nothing.
    virtual void start() = 0;
    // Stops the transfer within about a second and throws its partial body away. A transfer cancelled
    // before it started never reports anything.
    virtual void cancel() = 0;
    // Stops the transfer within about a second and calls `done` (on any thread) with resume data, or
    // with nothing when the transfer cannot be resumed or had already ended.
    virtual void cancelProducingResumeData(std::function<void(std::optional<std::string>)> done) = 0;
};

// Makes transfers; the seam where tests put a fake in place of the network.
class DownloadTransport {
public:
    virtual ~DownloadTransport() = default;

    virtual std::shared_ptr<DownloadTransfer> transferWithUrl(const std::string& url,
                                                              const DownloadConfiguration& configuration,
                                                              std::shared_ptr<DownloadTransferDelegate> delegate) = 0;
    // Takes up a stopped transfer: asks its original address again for the bytes after those in its
    // temporary file, restarting from byte 0 when the server no longer has the same file.
    virtual std::shared_ptr<DownloadTransfer> transferWithResumeData(
        const std::string& resumeData, const DownloadConfiguration& configuration,
        std::shared_ptr<DownloadTransferDelegate> delegate) = 0;
};

}  // namespace nudgerly
