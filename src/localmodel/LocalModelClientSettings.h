#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/net/HttpClient.h"

namespace nudgerly {

// Where the local model client looks for its files and how patient it is. The defaults are the
// program's own; tests shorten the waits and point the folders elsewhere.
struct LocalModelClientSettings {
    // Reads one variable of the environment ("NUDGERLY_MODEL_PATH", "NUDGERLY_LLAMA_SERVER").
    std::function<std::optional<std::string>(const std::string&)> environment = processEnvironment;
    // The data folder holding "ModelPacks" (the environment's data directory).
    std::filesystem::path dataFolder;
    // Holds "ModelRuntime/llama-server"; absent when the program has no such folder.
    std::optional<std::filesystem::path> runtimeFolder = defaultRuntimeFolder();
    // Holds "Models/Qwen3-4B-Q4_K_M.gguf", the default pack shipped with the program.
    std::optional<std::filesystem::path> resourceFolder = defaultResourceFolder();
    // Set for the server beside its command line: its compute threads and how they wait.
    std::vector<std::pair<std::string, std::string>> serverEnvironment = defaultServerEnvironment();
    // Draws a port for a launch, never one of the given ports.
    std::function<int(const std::set<int>&)> drawPort = defaultDrawPort;
    std::shared_ptr<HttpClient> http = std::make_shared<CurlHttpClient>();

    // Start-up: launches per start, the pause before the first health check, then at most
    // `healthCheckLimit` checks `healthCheckInterval` apart, each allowed `healthCheckTimeout`.
    int launchLimit = 4;
    std::chrono::milliseconds initialHealthDelay{100};
    std::chrono::milliseconds healthCheckInterval{100};
    int healthCheckLimit = 600;
    std::chrono::milliseconds healthCheckTimeout{300};
    // How many drawn ports may turn out to be taken by another program before a launch gives up.
    int busyPortLimit = 64;

    // One chat request, and the largest answer read.
    std::chrono::milliseconds requestTimeout{60'000};
    // The health check after a request failed: the server is busy with other work or just gave up on
    // an answer, so it gets longer than a start-up check before it is taken for dead.
    std::chrono::milliseconds failedRequestHealthCheckTimeout{5'000};
    std::size_t maxResponseBytes = 1024 * 1024;

    // Shutdown: after SIGTERM and SIGINT, up to this many polls `shutdownPollInterval` apart; after
    // SIGKILL, until the process has ended, for at most `reapAfterKillLimit`.
    std::chrono::milliseconds shutdownPollInterval{25};
    int terminateWaits = 40;
    int interruptWaits = 20;
    std::chrono::milliseconds reapAfterKillLimit{3000};

    static std::optional<std::string> processEnvironment(const std::string& name);
    static std::optional<std::filesystem::path> defaultRuntimeFolder();
    static std::optional<std::filesystem::path> defaultResourceFolder();
    static int defaultDrawPort(const std::set<int>& excluding);
    static std::vector<std::pair<std::string, std::string>> defaultServerEnvironment();
};

}  // namespace nudgerly
