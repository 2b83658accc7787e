#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "localmodel/LocalModelService.h"
#include "modelpacks/ModelPack.h"

namespace nudgerly::test {

// A local model whose answers a test scripts. Every call is logged as "<kind>:<conversation id>".
class ScriptedLocalModel : public LocalModelService {
public:
    enum class Call { classify, latestTurn, retryClassify, retryLatestTurn };
    // Returns the answer or throws (LocalModelError, CancelledError, anything).
    using Script = std::function<Classification(Call, const Conversation&, std::stop_token)>;

    explicit ScriptedLocalModel(Script script, ModelAvailability availability = ModelAvailability::bundled());

    ModelAvailability availability() const override;
    ModelPack activeModelPack() const override;
    std::shared_future<void> selectModelPack(const ModelPack& pack) override;
    std::shared_future<void> requestShutdown() override;

    Classification classify(const Conversation& conversation, std::stop_token stop) override;
    Classification classifyLatestTurn(const Conversation& conversation, std::stop_token stop) override;
    Classification retryInvalidClassification(const Conversation& conversation, std::stop_token stop) override;
    Classification retryInvalidLatestTurnClassification(const Conversation& conversation,
                                                        std::stop_token stop) override;

    std::vector<std::string> calls() const;
    int shutdownCount() const;
    void setAvailability(ModelAvailability availability);

private:
    Classification answer(Call call, const Conversation& conversation, std::stop_token stop);

    Script script_;
    mutable std::mutex mutex_;
    ModelAvailability availability_;
    ModelPack pack_;
    std::vector<std::string> calls_;
    int shutdowns_ = 0;
};

// A classification that asks for attention.
Classification owed(ReviewStatus status, std::string summary = "Needs you", double confidence = 0.9);
// A classification that puts nothing in the queue.
Classification nothingOwed();

}  // namespace nudgerly::test
