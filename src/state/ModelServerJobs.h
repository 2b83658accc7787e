#pragma once

#include <memory>
#include <optional>
#include <stop_token>

#include "classifier/ConversationClassifier.h"
#include "core/FutureWait.h"

// Jobs on the classifier's local model client, for the state object's tasks to run off the main thread.
namespace nudgerly::ModelServerJobs {

// Stops the model server and, when a pack is given, makes it the one served next (a client already
// serving it keeps running); returns once the old server is gone.
inline auto stopServer(std::shared_ptr<ConversationClassifier> classifier,
                       std::optional<ModelPack> pack = std::nullopt) {
    return [classifier = std::move(classifier), pack = std::move(pack)](std::stop_token stop) {
        waitUntilReady(pack ? classifier->selectModelPack(*pack) : classifier->requestShutdown(), stop);
    };
}

// Whether Local AI can run.
inline auto readAvailability(std::shared_ptr<ConversationClassifier> classifier) {
    return [classifier = std::move(classifier)](std::stop_token) { return classifier->modelAvailability(); };
}

}  // namespace nudgerly::ModelServerJobs
