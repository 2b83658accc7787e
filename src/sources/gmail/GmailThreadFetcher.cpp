#include "sources/gmail/GmailThreadFetcher.h"

#include <cassert>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>

#include "core/CancelledError.h"

namespace nudgerly {
namespace {

using Kind = GmailThreadFetchOutcome::Kind;

// The outcomes of one call, and how many fetches have not ended yet.
struct Chunk {
    std::mutex mutex;
    std::condition_variable ended;
    std::vector<GmailThreadFetchOutcome> outcomes;
    std::size_t running = 0;
    std::stop_source stop;  // asks every fetch of the chunk to stop
};

// Held by one fetch job. It counts the fetch as ended when the job lets go of it, which happens after
// the job ran and also when the executor drops the job unrun, so the caller never waits for a job
// that will not come.
class FetchTicket {
public:
    FetchTicket(std::shared_ptr<Chunk> chunk, std::size_t index) : chunk_(std::move(chunk)), index_(index) {
        std::lock_guard lock(chunk_->mutex);
        ++chunk_->running;
    }
    ~FetchTicket() {
        std::lock_guard lock(chunk_->mutex);
        --chunk_->running;
        chunk_->ended.notify_all();
    }
    FetchTicket(const FetchTicket&) = delete;
    FetchTicket& operator=(const FetchTicket&) = delete;

    void record(GmailThreadFetchOutcome outcome) {
        std::lock_guard lock(chunk_->mutex);
        chunk_->outcomes[index_] = std::move(outcome);
    }

private:
    std::shared_ptr<Chunk> chunk_;
    std::size_t index_;
};

}  // namespace

GmailThreadFetcher::GmailThreadFetcher(const GmailApiClient& api) : api_(api) {}

std::vector<GmailThreadFetchOutcome> GmailThreadFetcher::fetch(const std::vector<std::string>& threadIDs,
                                                               const std::string& accessToken, std::stop_token stop) {
    assert(threadIDs.size() <= chunkSize);
    auto chunk = std::make_shared<Chunk>();
    for (const auto& id : threadIDs) {
        chunk->outcomes.push_back({.kind = Kind::cancelled, .threadID = id});
    }
    std::stop_callback forwardStop(stop, [chunk] { chunk->stop.request_stop(); });

    std::exception_ptr submitError;
    for (std::size_t index = 0; index < threadIDs.size() && !submitError; ++index) {
        auto ticket = std::make_shared<FetchTicket>(chunk, index);
        auto job = [this, chunk, ticket, id = threadIDs[index], accessToken](std::stop_token workerStop) {
            // The fetcher going stops the whole chunk.
            std::stop_callback fetcherGoing(workerStop, [&chunk] { chunk->stop.request_stop(); });
            try {
                ticket->record({.kind = Kind::fetched,
                                .thread = api_.api<GmailThread>(GmailApiClient::threadPath(id), {{"format", "full"}},
                                                                accessToken, chunk->stop.get_token()),
                                .threadID = id});
            } catch (const CancelledError&) {
                // Stays `cancelled`.
            } catch (const std::exception&) {
                ticket->record({.kind = Kind::failed, .threadID = id});
            }
        };
        ticket.reset();  // the job holds the only reference
        try {
            workers_.submit("Gmail thread", std::move(job));
        } catch (const std::system_error&) {
            // No thread for it: end what runs and report the failure once all have ended.
            submitError = std::current_exception();
            chunk->stop.request_stop();
        }
    }

    std::unique_lock lock(chunk->mutex);
    chunk->ended.wait(lock, [&] { return chunk->running == 0; });
    if (submitError) {
        std::rethrow_exception(submitError);
    }
    return std::move(chunk->outcomes);
}

}  // namespace nudgerly
