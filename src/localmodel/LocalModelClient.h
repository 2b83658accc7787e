#pragma once

#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>

#include "core/BackgroundExecutor.h"
#include "localmodel/LocalModelClientSettings.h"
#include "localmodel/LocalModelService.h"
#include "modelpacks/ModelPack.h"
#include "platform/ChildProcess.h"
#include "review/Classification.h"
#include "review/Conversation.h"
#include "review/ModelAvailability.h"

namespace nudgerly {

// The one owner of the `llama-server` child process: finds the server program and the model file,
// says whether Local AI can run, starts the server on demand on a random loopback port with a fresh
// bearer key, asks it for classifications, restarts it when it fails, and stops it in an orderly
// escalation.
//
// Safe to use from any thread. A mutex guards the fields and is never held while waiting; every
// operation re-checks, after each wait, that the server it works with is still the owned one (the
// process object's identity) and that no shutdown has started a new lifecycle meanwhile. Blocking
// calls throw CancelledError when their stop token is requested.
//
// The server is launched, and stopped, by the client's own supervisor worker, and dies with that
// worker: when the client goes, and when the program ends in any way, a crash included. The owner
// still asks for a shutdown first where it can, so that the server gets its orderly escalation;
// destroying the client otherwise cuts the escalation short to SIGKILL.
class LocalModelClient : public LocalModelService {
public:
    // A server this client started. Two records denote the same server exactly when they hold the
    // same process object.
    struct OwnedServer {
        std::shared_ptr<ChildProcess> process;
        int port = 0;
        std::string apiKey;  // 64 lowercase hexadecimal characters, new for every launch
        std::filesystem::path modelURL;
    };

    LocalModelClient(ModelPack modelPack, LocalModelClientSettings settings);
    ~LocalModelClient() override;
    LocalModelClient(const LocalModelClient&) = delete;
    LocalModelClient& operator=(const LocalModelClient&) = delete;

    // `bundled` when the server program and a model file are there (an installed pack is trusted by
    // its receipt here, not hashed), else `missing`.
    ModelAvailability availability() const override;
    // A copy of the pack the next start loads.
    ModelPack activeModelPack() const override;
    // NUDGERLY_MODEL_PATH, when it names a file that exists: it is loaded whatever pack is active.
    std::optional<std::filesystem::path> environmentModelFile() const override;
    // Makes `pack` the active one; when it differs in any field, the running server is shut down, so
    // that the next start loads the new pack. Returns at once.
    std::shared_future<void> selectModelPack(const ModelPack& pack) override;

    // Stops the owned server on the supervisor: SIGTERM, then SIGINT, each followed by a short wait,
    // then SIGKILL; the result is ready once the process has ended and been reaped. Returns at once;
    // every start in progress then fails with CancelledError, and so does every new start until the
    // result is ready. A request while a shutdown runs only gets that shutdown's result. Never throws
    // and cannot be cancelled.
    std::shared_future<void> requestShutdown() override;

    // The running, healthy server, started when there is none. Throws LocalModelError (missingBundle,
    // launchFailed, startupTimedOut) or CancelledError.
    OwnedServer ensureStarted(std::stop_token stop);

    // The full classification of one conversation, with a compact prompt when the full one is too
    // large or answered badly, and one restart of the server when it failed.
    Classification classify(const Conversation& conversation, std::stop_token stop) override;
    // The latest-turn judgement of one conversation, with one restart of the server when it failed.
    Classification classifyLatestTurn(const Conversation& conversation, std::stop_token stop) override;
    // A single compact-prompt attempt after an answer the caller could not use.
    Classification retryInvalidClassification(const Conversation& conversation, std::stop_token stop) override;
    // A single latest-turn attempt after an answer the caller could not use.
    Classification retryInvalidLatestTurnClassification(const Conversation& conversation,
                                                        std::stop_token stop) override;

    // One chat exchange with `server`. Throws LocalModelError: serverUnavailable when the server is no
    // longer the owned, running one (before or after the exchange), the transfer fails or it answers
    // 5xx (a 500 only when its health check then fails too); contextTooLarge or badResponse for other
    // unusable answers (an answer over the size limit included). CancelledError when stopped.
    Classification complete(const std::string& prompt, const OwnedServer& server, std::stop_token stop);

private:
    enum class Readiness { ready, stopped, unresponsive };

    Readiness waitUntilReady(const OwnedServer& server, bool initialDelay, std::stop_token stop);
    bool healthy(const OwnedServer& server, std::stop_token stop);
    // Forgets `server` (stopping it at once when `terminate`) if it is still the owned one; false when
    // it no longer was.
    bool clearOwnership(const OwnedServer& server, bool terminate);

    bool isOwned(const OwnedServer& server) const;
    bool isOwnedAndRunning(const OwnedServer& server) const;
    int64_t generation() const;
    void throwIfGenerationChanged(int64_t startGeneration) const;
    // The owned server of an unfinished start, or the outcome of launching a new one.
    std::optional<OwnedServer> adoptOwnedServer(int64_t startGeneration, std::stop_token stop);
    std::optional<OwnedServer> launchAndWait(int64_t startGeneration, std::stop_token stop);
    OwnedServer launch(const std::filesystem::path& program, const std::filesystem::path& model,
                       std::set<int>& triedPorts);
    // TERM and INT with the configured waits (a stop request cuts them short), then KILL; returns once
    // the process has been reaped.
    void escalate(ChildProcess& process, std::stop_token hurry) const;
    void finishShutdown(std::promise<void>& finished);

    std::optional<std::filesystem::path> serverURL() const;
    std::optional<std::filesystem::path> modelCandidateURL(const ModelPack& pack) const;
    std::optional<std::filesystem::path> resolvedModelURL(const ModelPack& pack, std::stop_token stop) const;
    std::optional<std::filesystem::path> locateModel(const ModelPack& pack, bool verifyInstalledFile,
                                                     std::stop_token stop) const;

    Classification classifyOnce(const Conversation& conversation, std::stop_token stop);
    Classification latestTurnOnce(const Conversation& conversation, std::stop_token stop);
    template <typename Pass>
    Classification withOneRestart(Pass pass, std::stop_token stop);

    const LocalModelClientSettings settings_;

    mutable std::mutex mutex_;
    std::optional<OwnedServer> ownedServer_;
    ModelPack activeModelPack_;
    int64_t lifecycleGeneration_ = 0;
    bool shutdownInProgress_ = false;
    // While a shutdown runs: its result, and the process it stops.
    std::shared_future<void> shutdownFinished_;
    std::shared_ptr<ChildProcess> stopping_;

    // Launches and shutdowns run here. Its workers live until it stops, and a server dies with the
    // worker that launched it.
    ThreadPoolExecutor supervisor_;
};

}  // namespace nudgerly
