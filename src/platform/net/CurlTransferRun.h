#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <future>
#include <optional>
#include <stop_token>
#include <string>

#include <curl/curl.h>

#include "core/GrowingFileSha256.h"
#include "core/UniqueFd.h"
#include "core/WriteBehindFile.h"
#include "platform/net/DownloadTransfer.h"
#include "platform/net/HttpClient.h"

namespace nudgerly {

class CurlTransfer;

// One run of a transfer on its worker thread: the requests, the partial file and the outcome.
class CurlTransferRun {
public:
    CurlTransferRun(CurlTransfer& transfer, std::stop_token stop);
    ~CurlTransferRun();
    CurlTransferRun(const CurlTransferRun&) = delete;
    CurlTransferRun& operator=(const CurlTransferRun&) = delete;

    DownloadOutcome run();

private:
    using Clock = std::chrono::steady_clock;
    // Why our own callbacks ended an exchange early.
    enum class Interruption { none, bodyNotWanted, wrongRange, fileFailed, idle };

    CURLcode perform(CURL* curl, const std::string& url);
    bool headersEnded();
    bool startBody(bool fromStart);
    bool write(const char* data, std::size_t size);
    void reportProgress(bool force);

    bool openKeptFile(const std::string& name);
    bool startFileThreads();
    bool createFile();
    // The sentence of a failed write to the partial file, for the error number `code`.
    std::string writeError(int code) const;
    void maybeCheckpoint(Clock::time_point now);
    void checkpoint(Clock::time_point now);
    void handOverSyncedCheckpoint();
    std::string resumeData() const;
    void discardFile();
    std::optional<std::string> keepFileForResume();

    DownloadOutcome finishedBody();
    DownloadOutcome endedWithStatus();
    DownloadOutcome failed(const std::string& message, bool resumable);
    DownloadOutcome stopped();

    static size_t onHeader(char* data, size_t size, size_t count, void* context);
    static size_t onBody(char* data, size_t size, size_t count, void* context);
    static int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    CurlTransfer& transfer_;
    const DownloadConfiguration& configuration_;
    std::stop_token stop_;
    Clock::time_point deadline_;

    HttpResponse response_;  // the answer being read
    std::optional<long> finalStatus_;
    Interruption interruption_ = Interruption::none;
    bool writingBody_ = false;

    UniqueFd fd_;
    std::string fileName_;
    std::string fileError_;
    std::string validator_;  // of the bytes in the file
    int64_t bytesHeld_ = 0;
    int64_t bytesExpected_ = -1;
    // Of every byte in the file, read back as it grows: the finished file needs no reading afterwards.
    std::optional<GrowingFileSha256> hasher_;
    // Writes through fd_ and tells hasher_: goes before either.
    std::optional<WriteBehindFile> writer_;
    int64_t writtenBefore_ = 0;  // bytes the file held when writer_ began
    int64_t checkpointedBytes_ = 0;
    Clock::time_point lastCheckpoint_{};
    bool toldWaiting_ = false;
    std::future<bool> sync_;  // of the bytes up to checkpointedBytes_; after fd_, so it ends first

    Clock::time_point lastActivity_{};
    curl_off_t lastDownloaded_ = 0;
    Clock::time_point lastReport_{};
    int64_t reportedBytes_ = -1;
};

}  // namespace nudgerly
