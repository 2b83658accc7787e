#pragma once

#include <filesystem>
#include <future>
#include <optional>
#include <stop_token>

#include "modelpacks/ModelPack.h"
#include "review/Classification.h"
#include "review/Conversation.h"
#include "review/ModelAvailability.h"

namespace nudgerly {

// What the classifier needs of the local model: the real client supervises `llama-server`; tests
// script the answers. Blocking calls throw CancelledError when `stop` is requested (or when a shutdown
// of the client ends a start in progress), LocalModelError for model failures, and may pass on other
// errors of the prompt builders.
class LocalModelService {
public:
    virtual ~LocalModelService() = default;

    virtual ModelAvailability availability() const = 0;
    virtual ModelPack activeModelPack() const = 0;
    // The model file the environment names in place of any pack, when that file exists; a service
    // that reads no environment has none.
    virtual std::optional<std::filesystem::path> environmentModelFile() const { return std::nullopt; }
    // The model file shipped with the program, when it is what the active pack loads and it exists.
    virtual std::optional<std::filesystem::path> shippedModelFile() const { return std::nullopt; }
    // Makes `pack` the active one; a different pack stops the running server, as `requestShutdown`
    // does, so that the next start loads the new pack. Returns at once; the result is ready once the
    // old server is gone (at once for the same pack).
    virtual std::shared_future<void> selectModelPack(const ModelPack& pack) = 0;
    // Stops the server without waiting for it: the result is ready once no owned server is left
    // running. Never throws. The main thread asks this way and never waits.
    virtual std::shared_future<void> requestShutdown() = 0;
    // Stops the server and waits until it is gone: for workers and a program's last step.
    void shutdown() { requestShutdown().wait(); }

    // The full classification, with its own restart and compact retries.
    virtual Classification classify(const Conversation& conversation, std::stop_token stop) = 0;
    // The latest-turn judgement, with its own restart retry.
    virtual Classification classifyLatestTurn(const Conversation& conversation, std::stop_token stop) = 0;
    // One compact-prompt attempt after an answer the caller could not use.
    virtual Classification retryInvalidClassification(const Conversation& conversation, std::stop_token stop) = 0;
    // One latest-turn attempt after an answer the caller could not use.
    virtual Classification retryInvalidLatestTurnClassification(const Conversation& conversation,
                                                                std::stop_token stop) = 0;

    // A result that is ready already, for a shutdown with nothing to stop.
    static std::shared_future<void> done() {
        std::promise<void> finished;
        finished.set_value();
        return finished.get_future().share();
    }
};

}  // namespace nudgerly
