#pragma once

#include <chrono>
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
#include "modelpacks/ModelPack.h"
#include "platform/system/ChildProcess.h"
#include "review/ModelAvailability.h"

namespace nudgerly {

// The one owner of the `llama-server` child process: finds the server program and the model file of
// the active pack, says whether Local AI can run, starts the server on demand on a random loopback
// port with a fresh bearer key, waits until it answers its health check, notices a server that died
// or hangs, and stops it in an orderly escalation.
//
// Safe to use from any thread. A mutex guards the fields and is never held while waiting; every
// operation re-checks, after each wait, that the server it works with is still the owned one (the
// process object's identity) and that no shutdown has started a new lifecycle meanwhile. Blocking
// calls throw CancelledError when their stop token is requested.
//
// The server is launched, and stopped, by the supervisor's own worker, and dies with that worker:
// when the supervisor goes, and when the program ends in any way, a crash included. The owner still
// asks for a shutdown first where it can, so that the server gets its orderly escalation; destroying
// the supervisor otherwise cuts the escalation short to SIGKILL.
class LocalServerSupervisor {
public:
    // A server this supervisor started. Two records denote the same server exactly when they hold the
    // same process object.
    struct OwnedServer {
        std::shared_ptr<ChildProcess> process;
        int port = 0;
        std::string apiKey;  // 64 lowercase hexadecimal characters, new for every launch
        std::filesystem::path modelPath;

        std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port); }
        std::string bearer() const { return "Bearer " + apiKey; }
    };

    LocalServerSupervisor(ModelPack modelPack, LocalModelClientSettings settings);
    ~LocalServerSupervisor();
    LocalServerSupervisor(const LocalServerSupervisor&) = delete;
    LocalServerSupervisor& operator=(const LocalServerSupervisor&) = delete;

    // `bundled` when the server program and a model file are there (an installed pack is trusted by
    // its receipt here, not hashed), else `missing`.
    ModelAvailability availability() const;
    // A copy of the pack the next start loads.
    ModelPack activeModelPack() const;
    // NUDGERLY_MODEL_PATH, when it names a file that exists: it is loaded whatever pack is active.
    std::optional<std::filesystem::path> environmentModelFile() const;
    // The model shipped with the program, when the active pack would load it (no NUDGERLY_MODEL_PATH,
    // the default pack without an install of its own) and it exists.
    std::optional<std::filesystem::path> shippedModelFile() const;
    // Makes `pack` the active one; when it differs in any field, the running server is shut down, so
    // that the next start loads the new pack. Returns at once.
    std::shared_future<void> selectModelPack(const ModelPack& pack);

    // Stops the owned server on the supervisor's worker: SIGTERM, then SIGINT, each followed by a
    // short wait, then SIGKILL; the result is ready once the process has ended and been reaped, or
    // the bounded wait after SIGKILL is over (the child is then reaped once it ends).
    // Returns at once; every start in progress then fails with CancelledError, and so does every new
    // start until the result is ready. A request while a shutdown runs only gets that shutdown's
    // result. Never throws and cannot be cancelled.
    std::shared_future<void> requestShutdown();

    // The running, healthy server, started when there is none. Throws LocalModelError (missingBundle,
    // launchFailed, startupTimedOut) or CancelledError.
    OwnedServer ensureStarted(std::stop_token stop);

    // `server` is still the owned one and its process runs.
    bool isOwnedAndRunning(const OwnedServer& server) const;
    // One health check of `server`: false when it is no longer owned and running, or does not answer
    // 200 within `timeout` (the start-up checks' own when none is given). Never throws.
    bool healthy(const OwnedServer& server, std::stop_token stop,
                 std::optional<std::chrono::milliseconds> timeout = std::nullopt);

private:
    enum class Readiness { ready, stopped, unresponsive };

    Readiness waitUntilReady(const OwnedServer& server, bool initialDelay, std::stop_token stop);
    // Forgets `server` (stopping it at once when `terminate`) if it is still the owned one; false when
    // it no longer was.
    bool clearOwnership(const OwnedServer& server, bool terminate);

    bool isOwned(const OwnedServer& server) const;
    int64_t generation() const;
    void throwIfGenerationChanged(int64_t startGeneration) const;
    // The owned server of an unfinished start, or the outcome of launching a new one.
    std::optional<OwnedServer> adoptOwnedServer(int64_t startGeneration, std::stop_token stop);
    std::optional<OwnedServer> launchAndWait(int64_t startGeneration, std::stop_token stop);
    OwnedServer launch(const std::filesystem::path& program, const std::filesystem::path& model,
                       std::set<int>& triedPorts);
    // TERM and INT with the configured waits (a stop request cuts them short), then KILL; returns once
    // the process has been reaped or the wait after KILL is over.
    void escalate(ChildProcess& process, std::stop_token hurry) const;
    void finishShutdown(std::promise<void>& finished);

    std::optional<std::filesystem::path> serverPath() const;
    std::optional<std::filesystem::path> modelCandidatePath(const ModelPack& pack) const;
    std::optional<std::filesystem::path> resolvedModelPath(const ModelPack& pack, std::stop_token stop) const;
    std::optional<std::filesystem::path> locateModel(const ModelPack& pack, bool verifyInstalledFile,
                                                     std::stop_token stop) const;

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
    ThreadPoolExecutor worker_;
};

}  // namespace nudgerly
