#include "platform/net/CurlTransferRun.h"

#include <algorithm>
#include <cerrno>
#include <future>
#include <memory>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/CancelledError.h"
#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/SecureRandom.h"
#include "core/Sleep.h"
#include "platform/net/CurlHeaderList.h"
#include "platform/net/CurlTransfer.h"
#include "platform/net/DownloadResponseHeaders.h"
#include "platform/net/DownloadResumeData.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
namespace Headers = DownloadResponseHeaders;
using namespace std::chrono_literals;

constexpr int maximumRedirects = 16;
// How often a transfer that cannot reach its host tries again while it waits for connectivity.
constexpr auto connectivityRetryInterval = 3s;
// Connecting to a host that drops packets fails only at the connect time-out: while waiting for
// connectivity, a shorter one lets the wait be told soon.
constexpr auto connectivityConnectTimeout = 15s;
constexpr const char* cannotResume = "The download could not be resumed.";
constexpr const char* tooManyRedirects = "The download was redirected too many times.";

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// The failures of a machine that is offline or of a host that is down, as opposed to one that answers
// wrongly.
bool isUnreachable(CURLcode result, CURL* curl) {
    switch (result) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT: return true;
        case CURLE_OPERATION_TIMEDOUT: {
            curl_off_t connected = 0;
            return curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected) == CURLE_OK && connected == 0;
        }
        default: return false;
    }
}

std::string randomTemporaryFileName() {
    static constexpr std::string_view letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = "CFNetworkDownload_";
    for (const uint8_t byte : secureRandomBytes(8)) {
        name += letters[byte % letters.size()];
    }
    return name + ".tmp";
}

}  // namespace

CurlTransferRun::CurlTransferRun(CurlTransfer& transfer, std::stop_token stop)
    : transfer_(transfer),
      configuration_(transfer.configuration),
      stop_(std::move(stop)),
      deadline_(Clock::now() + transfer.configuration.resourceTimeout) {}

CurlTransferRun::~CurlTransferRun() = default;

DownloadOutcome CurlTransferRun::run() {
    ensureCurlInitialised();
    if (transfer_.resume) {
        if (!openKeptFile(transfer_.resume->temporaryFileName)) {
            return failed(cannotResume, false);
        }
        validator_ = transfer_.resume->validator;
        if (!startFileThreads()) {
            return failed(fileError_, false);
        }
    } else if (!transfer_.original) {
        return failed(cannotResume, false);  // resume data we cannot read
    }
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        return failed("The request failed.", false);
    }
    // A resumed transfer asks its first address again: a redirect target may have been short-lived.
    std::string url = *transfer_.original;
    int redirects = 0;
    for (;;) {
        const CURLcode result = perform(curl.get(), url);
        switch (interruption_) {
            case Interruption::wrongRange: return failed(cannotResume, false);
            case Interruption::fileFailed: return failed(fileError_, false);
            case Interruption::idle: return failed(transportError(CURLE_OPERATION_TIMEDOUT).what(), true);
            case Interruption::bodyNotWanted: break;
            case Interruption::none:
                if (result == CURLE_OK) {
                    return writingBody_ ? finishedBody() : endedWithStatus();
                }
                if (stop_.stop_requested()) {
                    return stopped();
                }
                if (configuration_.waitsForConnectivity && isUnreachable(result, curl.get()) &&
                    Clock::now() + connectivityRetryInterval < deadline_) {
                    if (!toldWaiting_) {
                        toldWaiting_ = true;
                        transfer_.delegate->transferIsWaitingForConnectivity();
                    }
                    try {
                        sleepFor(connectivityRetryInterval, stop_);
                    } catch (const CancelledError&) {
                        return stopped();
                    }
                    continue;
                }
                return failed(transportError(result).what(), true);
        }
        // An answer whose body we do not keep: a redirect to consider, or a final status.
        const auto location = response_.header("Location");
        if (*finalStatus_ < 300 || *finalStatus_ > 399 || !location) {
            return endedWithStatus();
        }
        if (++redirects > maximumRedirects) {
            return failed(tooManyRedirects, true);
        }
        const std::string next = Headers::resolveLocation(url, *location).value_or(*location);
        if (!transfer_.delegate->transferShouldFollowRedirect(next)) {
            return endedWithStatus();
        }
        transfer_.setCurrentUrl(next);
        url = next;
        finalStatus_.reset();  // what counts is the answer at the end of the redirects
    }
}

CURLcode CurlTransferRun::perform(CURL* curl, const std::string& url) {
    response_ = {};
    interruption_ = Interruption::none;
    lastActivity_ = Clock::now();
    lastDownloaded_ = 0;
    CurlHeaderList headers;
    if (fd_.valid() && bytesHeld_ > 0 && !validator_.empty()) {
        if (!appendHeader(headers, "Range: bytes=" + std::to_string(bytesHeld_) + "-") ||
            !appendHeader(headers, "If-Range: " + validator_)) {
            return CURLE_OUT_OF_MEMORY;
        }
    }
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    const auto connectTimeout =
        configuration_.waitsForConnectivity
            ? std::min<std::chrono::milliseconds>(configuration_.requestTimeout, connectivityConnectTimeout)
            : configuration_.requestTimeout;
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, std::max<long>(1, static_cast<long>(remaining.count())));
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, isLoopbackUrl(url) ? "*" : nullptr);
    // Behind a proxy the tunnel's own "200 Connection established" would otherwise pass for the
    // server's answer.
    curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (configuration_.caFile) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, configuration_.caFile->c_str());
    }
    if (remaining <= 0ms) {
        return CURLE_OPERATION_TIMEDOUT;
    }
    return curl_easy_perform(curl);
}

size_t CurlTransferRun::onHeader(char* data, size_t size, size_t count, void* context) {
    auto* self = static_cast<CurlTransferRun*>(context);
    const size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (self->writingBody_) {
        return bytes;  // trailers after a chunked body change nothing
    }
    if (line != "\r\n" && line != "\n") {
        readHeaderLine(self->response_, line);
        return bytes;
    }
    // Returning anything but `bytes` ends the exchange.
    return self->headersEnded() ? bytes : 0;
}

// Decides what to do with the body once an answer's headers are in; false ends the exchange.
bool CurlTransferRun::headersEnded() {
    const long status = response_.status;
    if (status >= 100 && status < 200) {
        return true;  // an interim answer; the real one follows
    }
    finalStatus_ = status;
    toldWaiting_ = false;  // the host answered: a later failure is a new wait
    if (status < 200 || status > 299) {
        interruption_ = Interruption::bodyNotWanted;
        return false;
    }
    const auto length = Headers::byteCount(response_.header("Content-Length").value_or(""));
    if (status == 206) {
        const auto range = Headers::contentRange(response_.header("Content-Range").value_or(""));
        if (!range || range->start != (fd_.valid() ? bytesHeld_ : 0)) {
            interruption_ = Interruption::wrongRange;
            return false;
        }
        if (!startBody(!fd_.valid())) {
            return false;
        }
        bytesExpected_ = Headers::expectedBytes(*range, length);
    } else {
        // The whole file from its first byte: whatever an earlier attempt kept is replaced.
        if (!startBody(true)) {
            return false;
        }
        bytesExpected_ = length.value_or(-1);
    }
    writingBody_ = true;
    reportProgress(true);
    checkpoint(Clock::now());
    return true;
}

bool CurlTransferRun::startBody(bool fromStart) {
    if (!fromStart) {
        return true;
    }
    validator_ = Headers::validator(response_);
    sync_ = {};  // of other bytes: waited for and dropped
    bytesHeld_ = 0;
    checkpointedBytes_ = 0;
    // Of the bytes replaced.
    writer_.reset();
    hasher_.reset();
    if (!fd_.valid()) {
        if (!createFile()) {
            return false;
        }
    } else if (::ftruncate(fd_.get(), 0) != 0 || ::lseek(fd_.get(), 0, SEEK_SET) != 0) {
        fileError_ = writeError(errno);
        interruption_ = Interruption::fileFailed;
        return false;
    }
    if (!startFileThreads()) {
        // Nothing may be thrown through curl's callback, so the transfer ends here.
        interruption_ = Interruption::fileFailed;
        return false;
    }
    return true;
}

// The bytes go to the file on a thread of their own, and the hash reads them back on another as the
// file grows, beginning with any bytes kept from an earlier attempt: the transfer's thread only
// receives.
bool CurlTransferRun::startFileThreads() {
    try {
        hasher_.emplace(fd_.get());
        hasher_->grewTo(bytesHeld_);
        writtenBefore_ = bytesHeld_;
        writer_.emplace(fd_.get(), [this, kept = bytesHeld_](int64_t written) { hasher_->grewTo(kept + written); });
    } catch (const std::system_error& error) {
        writer_.reset();
        hasher_.reset();
        fileError_ = writeError(error.code().value());
        return false;
    }
    return true;
}

size_t CurlTransferRun::onBody(char* data, size_t size, size_t count, void* context) {
    auto* self = static_cast<CurlTransferRun*>(context);
    const size_t bytes = size * count;
    return self->write(data, bytes) ? bytes : 0;
}

bool CurlTransferRun::write(const char* data, std::size_t size) {
    if (!writingBody_) {
        return false;
    }
    if (!writer_->append(data, size)) {
        fileError_ = writeError(writer_->error());
        interruption_ = Interruption::fileFailed;
        return false;
    }
    bytesHeld_ += static_cast<int64_t>(size);
    reportProgress(false);
    maybeCheckpoint(Clock::now());
    return true;
}

int CurlTransferRun::onProgress(void* context, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t) {
    auto* self = static_cast<CurlTransferRun*>(context);
    if (self->stop_.stop_requested()) {
        return 1;
    }
    // The idle time-out. libcurl's own low-speed limit averages the speed over several seconds and
    // would let a stalled server go on for that much longer.
    const auto now = Clock::now();
    if (downloaded != self->lastDownloaded_) {
        self->lastDownloaded_ = downloaded;
        self->lastActivity_ = now;
    } else if (now - self->lastActivity_ >= self->configuration_.requestTimeout) {
        self->interruption_ = Interruption::idle;
        return 1;
    } else if (self->writer_ && !self->writer_->flush()) {
        // Nothing new: the bytes received go to the file now rather than when more come.
        self->fileError_ = self->writeError(self->writer_->error());
        self->interruption_ = Interruption::fileFailed;
        return 1;
    }
    // Also called while nothing arrives, so the last bytes before a stall are reported and kept too.
    self->reportProgress(false);
    if (self->writingBody_) {
        self->maybeCheckpoint(now);
    }
    return 0;
}

void CurlTransferRun::reportProgress(bool force) {
    if (!writingBody_) {
        return;
    }
    const auto now = Clock::now();
    if (force || (bytesHeld_ != reportedBytes_ && now - lastReport_ >= configuration_.progressInterval)) {
        lastReport_ = now;
        reportedBytes_ = bytesHeld_;
        transfer_.delegate->transferDidWriteData(bytesHeld_, bytesExpected_);
    }
}

void CurlTransferRun::maybeCheckpoint(Clock::time_point now) {
    handOverSyncedCheckpoint();
    if (bytesHeld_ == checkpointedBytes_) {
        return;
    }
    if (bytesHeld_ - checkpointedBytes_ >= configuration_.checkpointBytes ||
        now - lastCheckpoint_ >= configuration_.checkpointInterval) {
        checkpoint(now);
    }
}

// Bytes without a validator cannot be taken up later. The bytes are synced to the disk on a thread of
// their own (an fdatasync of 256 MiB on the transfer's thread held it up for a third of a second); the
// resume data is handed over once they are there.
void CurlTransferRun::checkpoint(Clock::time_point now) {
    lastCheckpoint_ = now;
    if (validator_.empty() || sync_.valid()) {
        return;  // the sync still running is the checkpoint
    }
    checkpointedBytes_ = bytesHeld_;
    if (bytesHeld_ == 0) {
        transfer_.delegate->transferDidSaveResumeData(resumeData());
        return;
    }
    // The bytes held may still be on their way to the file: the sync waits for them.
    if (!writer_ || !writer_->flush()) {
        return;  // the transfer ends at its next write
    }
    // A descriptor of its own: the transfer may close its one meanwhile.
    UniqueFd copy(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
    if (!copy) {
        return;
    }
    try {
        sync_ = std::async(std::launch::async,
                           [fd = std::move(copy), written = writer_->written(), count = bytesHeld_ - writtenBefore_] {
                               return written->waitFor(count) && ::fdatasync(fd.get()) == 0;
                           });
    } catch (const std::system_error&) {
        // No thread for it: this checkpoint is skipped, the next one tries again.
    }
}

void CurlTransferRun::handOverSyncedCheckpoint() {
    if (sync_.valid() && sync_.wait_for(std::chrono::seconds(0)) == std::future_status::ready && sync_.get()) {
        transfer_.delegate->transferDidSaveResumeData(resumeData());
    }
}

std::string CurlTransferRun::resumeData() const {
    return DownloadResumeData{*transfer_.original, transfer_.currentUrl().value_or(*transfer_.original), fileName_,
                              validator_}
        .encoded();
}

bool CurlTransferRun::openKeptFile(const std::string& name) {
    const fs::path path = configuration_.temporaryDirectory / name;
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    struct stat info {};
    if (!fd) {
        return false;
    }
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || ::lseek(fd.get(), 0, SEEK_END) != info.st_size) {
        return false;
    }
    fd_ = std::move(fd);
    fileName_ = name;
    bytesHeld_ = static_cast<int64_t>(info.st_size);
    checkpointedBytes_ = bytesHeld_;
    return true;
}

std::string CurlTransferRun::writeError(int code) const {
    return FileSystemError("Couldn't write \u201C" + fileName_ + "\u201D", code).what();
}

bool CurlTransferRun::createFile() {
    try {
        createPrivateDirectories(configuration_.temporaryDirectory);
    } catch (const FileSystemError& error) {
        fileError_ = error.what();
        interruption_ = Interruption::fileFailed;
        return false;
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string name = randomTemporaryFileName();
        const fs::path path = configuration_.temporaryDirectory / name;
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd) {
            fd_ = std::move(fd);
            fileName_ = name;
            return true;
        }
        if (errno != EEXIST) {
            fileError_ = FileSystemError("Couldn't create \u201C" + name + "\u201D", errno).what();
            break;
        }
    }
    if (fileError_.empty()) {
        fileError_ = FileSystemError("Couldn't create a temporary download file", EEXIST).what();
    }
    interruption_ = Interruption::fileFailed;
    return false;
}

void CurlTransferRun::discardFile() {
    writer_.reset();
    fd_.reset();
    if (!fileName_.empty()) {
        ::unlink((configuration_.temporaryDirectory / fileName_).c_str());
    }
}

// Makes the partial file durable and describes it; without a validator or after a failed write the
// bytes cannot be trusted later, so the file goes.
std::optional<std::string> CurlTransferRun::keepFileForResume() {
    if (!fd_.valid() || validator_.empty() || !writer_ || !writer_->drain() || ::fdatasync(fd_.get()) != 0) {
        discardFile();
        return std::nullopt;
    }
    writer_.reset();
    fd_.reset();
    return resumeData();
}

DownloadOutcome CurlTransferRun::finishedBody() {
    if (!writer_->drain()) {
        return failed(writeError(writer_->error()), false);
    }
    writer_.reset();
    const auto digest = hasher_->finishHex();
    if (!digest) {
        return failed(FileSystemError("Couldn't read \u201C" + fileName_ + "\u201D", EIO).what(), false);
    }
    fd_.reset();
    const fs::path path = configuration_.temporaryDirectory / fileName_;
    transfer_.delegate->transferDidFinishDownloading(path, *digest);
    ::unlink(path.c_str());  // unless the delegate moved it away
    return {.httpStatusCode = finalStatus_};
}

DownloadOutcome CurlTransferRun::endedWithStatus() {
    discardFile();
    return {.httpStatusCode = finalStatus_};
}

DownloadOutcome CurlTransferRun::failed(const std::string& message, bool resumable) {
    DownloadOutcome outcome{.httpStatusCode = finalStatus_, .errorMessage = message};
    if (resumable) {
        outcome.resumeData = keepFileForResume();
    } else {
        discardFile();
    }
    return outcome;
}

DownloadOutcome CurlTransferRun::stopped() {
    return failed(CancelledError().what(), transfer_.wantsResumeData());
}

}  // namespace nudgerly
