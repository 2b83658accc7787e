#pragma once

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
    // Makes `pack` the active one; a different pack stops the running server first.
    virtual void selectModelPack(const ModelPack& pack) = 0;
    // Stops the server; never throws.
    virtual void shutdown() = 0;

    // The full classification, with its own restart and compact retries.
    virtual Classification classify(const Conversation& conversation, std::stop_token stop) = 0;
    // The latest-turn judgement, with its own restart retry.
    virtual Classification classifyLatestTurn(const Conversation& conversation, std::stop_token stop) = 0;
    // One compact-prompt attempt after an answer the caller could not use.
    virtual Classification retryInvalidClassification(const Conversation& conversation, std::stop_token stop) = 0;
    // One latest-turn attempt after an answer the caller could not use.
    virtual Classification retryInvalidLatestTurnClassification(const Conversation& conversation,
                                                                std::stop_token stop) = 0;
};

}  // namespace nudgerly
