#include "localmodel/LocalServerSupervisor.h"

#include <system_error>
#include <thread>
#include <utility>

#include <unistd.h>

#include "core/CancelledError.h"
#include "core/Sleep.h"
#include "localmodel/LocalModelError.h"
#include "localmodel/LocalModelService.h"
#include "localmodel/LocalServerLaunchPolicy.h"
#include "modelpacks/ModelPackPaths.h"
#include "modelpacks/ModelVerification.h"
#include "platform/net/HttpClient.h"
#include "platform/net/LoopbackPort.h"
#include "platform/system/FileManager.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using Kind = LocalModelError::Kind;

constexpr const char* modelPathVariable = "NUDGERLY_MODEL_PATH";
constexpr const char* serverProgramVariable = "NUDGERLY_LLAMA_SERVER";
constexpr const char* shippedModelFileName = "Qwen3-4B-Q4_K_M.gguf";

bool isExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

bool fileExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

bool passesValidation(const ModelPack& pack) {
    try {
        pack.validate();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Ends a process the supervisor no longer answers for, without the patient escalation of a shutdown,
// and reaps it so that no zombie is left behind.
void stopAtOnce(ChildProcess& process) {
    if (!process.isRunning()) {
        return;
    }
    process.terminate();
    if (process.isRunning()) {
        process.kill();
    }
    process.waitForExit(std::chrono::seconds(1));
}

}  // namespace

LocalServerSupervisor::LocalServerSupervisor(ModelPack modelPack, LocalModelClientSettings settings)
    : settings_(std::move(settings)), activeModelPack_(std::move(modelPack)) {}

LocalServerSupervisor::~LocalServerSupervisor() {
    requestShutdown();
    // A running escalation hurries on to SIGKILL; one that never got a worker is dropped and done here.
    worker_.stop();
    std::shared_ptr<ChildProcess> left;
    {
        std::lock_guard lock(mutex_);
        left = std::exchange(stopping_, nullptr);
    }
    if (left) {
        std::stop_source hurry;
        hurry.request_stop();
        escalate(*left, hurry.get_token());
    }
}

// Locating the program and the model

std::optional<fs::path> LocalServerSupervisor::serverPath() const {
    if (const auto path = settings_.environment(serverProgramVariable)) {
        return fs::path(*path);
    }
    if (!settings_.runtimeFolder) {
        return std::nullopt;
    }
    return *settings_.runtimeFolder / "ModelRuntime" / "llama-server";
}

std::optional<fs::path> LocalServerSupervisor::modelCandidatePath(const ModelPack& pack) const {
    return locateModel(pack, false, {});
}

std::optional<fs::path> LocalServerSupervisor::resolvedModelPath(const ModelPack& pack, std::stop_token stop) const {
    return locateModel(pack, true, stop);
}

std::optional<fs::path> LocalServerSupervisor::locateModel(const ModelPack& pack, bool verifyInstalledFile,
                                                           std::stop_token stop) const {
    if (const auto path = settings_.environment(modelPathVariable)) {
        return fs::path(*path);
    }
    if (passesValidation(pack)) {
        static const SystemFileManager fileManager;
        const ModelPackPaths paths = ModelPackPaths::of(pack, settings_.dataFolder);
        const fs::path& installed = paths.installedModelPath;
        if (ModelVerification::hasVerifiedInstall(installed, paths.verificationReceiptPath, pack, fileManager)) {
            if (!verifyInstalledFile) {
                return installed;
            }
            try {
                ModelVerification::verifyFile(installed, pack, fileManager, stop);
                return installed;
            } catch (const CancelledError&) {
                throw;  // a stopped check says nothing about the file
            } catch (const std::exception&) {
                // A changed or unreadable file is not loaded; the shipped model may still serve.
            }
        }
    }
    if (pack.identifier == ModelPack::nudgerlyDefault().identifier && settings_.resourceFolder) {
        return *settings_.resourceFolder / "Models" / shippedModelFileName;
    }
    return std::nullopt;
}

ModelAvailability LocalServerSupervisor::availability() const {
    std::optional<OwnedServer> owned;
    ModelPack pack;
    {
        std::lock_guard lock(mutex_);
        owned = ownedServer_;
        pack = activeModelPack_;
    }
    if (owned && owned->process->isRunning() && modelCandidatePath(pack) == owned->modelPath) {
        return ModelAvailability::bundled();
    }
    const auto program = serverPath();
    const auto model = modelCandidatePath(pack);
    if (!program || !model || !isExecutableFile(*program) || !fileExists(*model)) {
        return ModelAvailability::missing();
    }
    return ModelAvailability::bundled();
}

std::optional<fs::path> LocalServerSupervisor::environmentModelFile() const {
    const auto path = settings_.environment(modelPathVariable);
    if (!path || !fileExists(*path)) {
        return std::nullopt;
    }
    return fs::path(*path);
}

std::optional<fs::path> LocalServerSupervisor::shippedModelFile() const {
    if (!settings_.resourceFolder || settings_.environment(modelPathVariable)) {
        return std::nullopt;
    }
    const fs::path shipped = *settings_.resourceFolder / "Models" / shippedModelFileName;
    if (modelCandidatePath(activeModelPack()) != shipped || !fileExists(shipped)) {
        return std::nullopt;
    }
    return shipped;
}

ModelPack LocalServerSupervisor::activeModelPack() const {
    std::lock_guard lock(mutex_);
    return activeModelPack_;
}

std::shared_future<void> LocalServerSupervisor::selectModelPack(const ModelPack& pack) {
    {
        std::lock_guard lock(mutex_);
        if (activeModelPack_ == pack) {
            return LocalModelService::done();
        }
        // Changed before the shutdown, not after it: a start that read the old pack is ended by the
        // shutdown's new lifecycle, and no start can read the old pack once the shutdown is over.
        activeModelPack_ = pack;
    }
    return requestShutdown();
}

// Ownership

bool LocalServerSupervisor::isOwned(const OwnedServer& server) const {
    std::lock_guard lock(mutex_);
    return ownedServer_ && ownedServer_->process == server.process;
}

bool LocalServerSupervisor::isOwnedAndRunning(const OwnedServer& server) const {
    return isOwned(server) && server.process->isRunning();
}

int64_t LocalServerSupervisor::generation() const {
    std::lock_guard lock(mutex_);
    return lifecycleGeneration_;
}

void LocalServerSupervisor::throwIfGenerationChanged(int64_t startGeneration) const {
    if (generation() != startGeneration) {
        throw CancelledError();
    }
}

bool LocalServerSupervisor::clearOwnership(const OwnedServer& server, bool terminate) {
    {
        std::lock_guard lock(mutex_);
        if (!ownedServer_ || ownedServer_->process != server.process) {
            return false;
        }
        ownedServer_.reset();
    }
    if (terminate) {
        stopAtOnce(*server.process);
    }
    return true;
}

// Starting

LocalServerSupervisor::OwnedServer LocalServerSupervisor::ensureStarted(std::stop_token stop) {
    for (;;) {
        int64_t startGeneration = 0;
        {
            std::lock_guard lock(mutex_);
            if (shutdownInProgress_) {
                throw CancelledError();
            }
            startGeneration = lifecycleGeneration_;
        }
        if (auto server = adoptOwnedServer(startGeneration, stop)) {
            return *server;
        }
        throwIfGenerationChanged(startGeneration);
        if (auto server = launchAndWait(startGeneration, stop)) {
            return *server;
        }
        // Our server was taken away after the wait's own check. A shutdown raises the generation
        // before it takes a server, so looking now tells a shutdown (give up) from another start
        // whose server took the place of ours (begin again and use that one).
        throwIfGenerationChanged(startGeneration);
    }
}

std::optional<LocalServerSupervisor::OwnedServer> LocalServerSupervisor::adoptOwnedServer(int64_t startGeneration,
                                                                                          std::stop_token stop) {
    for (;;) {
        std::optional<OwnedServer> server;
        {
            std::lock_guard lock(mutex_);
            server = ownedServer_;
        }
        if (!server) {
            return std::nullopt;
        }
        const Readiness readiness = waitUntilReady(*server, false, stop);
        throwIfGenerationChanged(startGeneration);
        if (!isOwned(*server)) {
            continue;
        }
        switch (readiness) {
            case Readiness::ready: return server;
            case Readiness::stopped: clearOwnership(*server, false); continue;
            case Readiness::unresponsive:
                // Only the start that took the server away reports on it: one that lost it to a
                // shutdown or to another start meanwhile looks again.
                if (clearOwnership(*server, true)) {
                    throw LocalModelError(Kind::startupTimedOut);
                }
                continue;
        }
    }
}

std::optional<LocalServerSupervisor::OwnedServer> LocalServerSupervisor::launchAndWait(int64_t startGeneration,
                                                                                       std::stop_token stop) {
    // The pack is read once per start, so a choice made meanwhile applies from the next start on.
    const ModelPack pack = activeModelPack();
    const auto program = serverPath();
    const auto model = resolvedModelPath(pack, stop);
    if (!program || !model || !isExecutableFile(*program) || !fileExists(*model)) {
        throw LocalModelError(Kind::missingBundle);
    }

    std::set<int> triedPorts;
    for (int launches = 1;; ++launches) {
        throwIfGenerationChanged(startGeneration);
        const OwnedServer server = launch(*program, *model, triedPorts);
        bool stale = false;
        bool replaced = false;
        {
            std::lock_guard lock(mutex_);
            stale = lifecycleGeneration_ != startGeneration;
            replaced = !stale && ownedServer_.has_value();
            if (!stale && !replaced) {
                ownedServer_ = server;
            }
        }
        if (stale || replaced) {
            // Launched outside the lock: a shutdown or another start came first, so this process
            // must not live on unowned.
            stopAtOnce(*server.process);
            if (stale) {
                throw CancelledError();
            }
            return std::nullopt;
        }

        const Readiness readiness = waitUntilReady(server, true, stop);
        throwIfGenerationChanged(startGeneration);
        if (!isOwned(server)) {
            return std::nullopt;
        }
        switch (readiness) {
            case Readiness::ready: return server;
            case Readiness::stopped:
                if (!clearOwnership(server, false)) {
                    return std::nullopt;
                }
                if (launches >= settings_.launchLimit) {
                    throw LocalModelError(Kind::startupTimedOut);
                }
                continue;
            case Readiness::unresponsive:
                if (!clearOwnership(server, true)) {
                    return std::nullopt;
                }
                throw LocalModelError(Kind::startupTimedOut);
        }
    }
}

LocalServerSupervisor::OwnedServer LocalServerSupervisor::launch(const fs::path& program, const fs::path& model,
                                                                 std::set<int>& triedPorts) {
    // A port where another program already listens would hand it our health checks and, worse, the
    // conversations: draw again.
    int port = 0;
    for (int busy = 0;;) {
        port = settings_.drawPort(triedPorts);
        triedPorts.insert(port);
        if (isLoopbackPortFree(port)) {
            break;
        }
        if (++busy >= settings_.busyPortLimit) {
            throw LocalModelError(Kind::launchFailed);
        }
    }
    const std::string key = LocalServerLaunchPolicy::randomAPIKey();
    // Launched by the supervisor's worker, which outlives every caller's: the server dies with the
    // thread that launched it.
    auto launched = std::make_shared<std::promise<std::shared_ptr<ChildProcess>>>();
    auto process = launched->get_future();
    try {
        worker_.submit("llama-server launch", [launched, program = program.string(),
                                               arguments = LocalServerLaunchPolicy::arguments(model, port, key),
                                               environment = settings_.serverEnvironment](std::stop_token) {
            try {
                launched->set_value(
                    ChildProcess::launch(program, arguments, {.dieWithParent = true, .environment = environment}));
            } catch (...) {
                launched->set_exception(std::current_exception());
            }
        });
    } catch (const std::system_error&) {
        throw LocalModelError(Kind::launchFailed);  // no worker to launch it
    }
    try {
        return OwnedServer{.process = process.get(), .port = port, .apiKey = key, .modelPath = model};
    } catch (const ChildProcessLaunchError&) {
        throw LocalModelError(Kind::launchFailed);
    } catch (const std::future_error&) {
        throw CancelledError();  // the supervisor is going away
    }
}

LocalServerSupervisor::Readiness LocalServerSupervisor::waitUntilReady(const OwnedServer& server, bool initialDelay,
                                                                       std::stop_token stop) {
    if (initialDelay) {
        sleepFor(settings_.initialHealthDelay, stop);
    }
    for (int checks = 0;;) {
        if (!isOwnedAndRunning(server)) {
            return Readiness::stopped;
        }
        if (healthy(server, stop)) {
            return Readiness::ready;
        }
        sleepFor(settings_.healthCheckInterval, stop);
        if (++checks >= settings_.healthCheckLimit) {
            return isOwnedAndRunning(server) ? Readiness::unresponsive : Readiness::stopped;
        }
    }
}

bool LocalServerSupervisor::healthy(const OwnedServer& server, std::stop_token stop,
                                    std::optional<std::chrono::milliseconds> timeout) {
    if (!isOwnedAndRunning(server)) {
        return false;
    }
    const auto limit = timeout.value_or(settings_.healthCheckTimeout);
    const HttpRequest request{
        .method = "GET",
        .url = server.baseURL() + "/health",
        .headers = {{"Authorization", server.bearer()}},
        .timeout = limit,
        .connectTimeout = limit,
        .maxResponseBytes = settings_.maxResponseBytes,
    };
    HttpResponse response;
    try {
        response = settings_.http->send(request, stop);
    } catch (const std::exception&) {
        return false;  // the wait's next sleep reports a stop
    }
    return isOwnedAndRunning(server) && response.status == 200;
}

// Stopping

std::shared_future<void> LocalServerSupervisor::requestShutdown() {
    auto finished = std::make_shared<std::promise<void>>();
    std::shared_ptr<ChildProcess> process;
    std::shared_future<void> result;
    {
        std::lock_guard lock(mutex_);
        if (shutdownInProgress_) {
            return shutdownFinished_;
        }
        shutdownInProgress_ = true;
        ++lifecycleGeneration_;
        // Taken before the first wait, so requests in flight already see the server gone.
        if (ownedServer_) {
            process = ownedServer_->process;
            ownedServer_.reset();
        }
        stopping_ = process;
        shutdownFinished_ = finished->get_future().share();
        result = shutdownFinished_;
    }
    if (!process) {
        finishShutdown(*finished);
        return result;
    }
    const auto escalation = [this, process, finished](std::stop_token hurry) {
        escalate(*process, hurry);
        finishShutdown(*finished);
    };
    try {
        worker_.submit("llama-server shutdown", escalation);
    } catch (const std::system_error&) {
        escalation({});  // no worker to be had: the caller waits instead
    }
    return result;
}

void LocalServerSupervisor::escalate(ChildProcess& process, std::stop_token hurry) const {
    // Only a supervisor that is going away hurries; a quitting program still stops its server in order.
    const auto waitForExit = [&](int polls) {
        for (int i = 0; i < polls && process.isRunning() && !hurry.stop_requested(); ++i) {
            std::this_thread::sleep_for(settings_.shutdownPollInterval);
        }
    };
    process.terminate();
    waitForExit(settings_.terminateWaits);
    if (process.isRunning()) {
        process.interrupt();
        waitForExit(settings_.interruptWaits);
    }
    if (process.isRunning()) {
        process.kill();
    }
    // A killed process cannot refuse to end, but the kernel may take its time giving back a large
    // model's memory, or hold the process for another reason entirely. Nothing it holds is ours to
    // wait for past a bound: the shutdown (and a quit behind it) goes on, and the process object,
    // once dropped, has the child reaped when it does end.
    process.waitForExit(settings_.reapAfterKillLimit);
}

void LocalServerSupervisor::finishShutdown(std::promise<void>& finished) {
    {
        std::lock_guard lock(mutex_);
        shutdownInProgress_ = false;
        stopping_.reset();
    }
    finished.set_value();
}

}  // namespace nudgerly
