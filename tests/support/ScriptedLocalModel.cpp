#include "support/ScriptedLocalModel.h"

namespace nudgerly::test {
namespace {

const char* callName(ScriptedLocalModel::Call call) {
    switch (call) {
        case ScriptedLocalModel::Call::classify: return "classify";
        case ScriptedLocalModel::Call::latestTurn: return "latestTurn";
        case ScriptedLocalModel::Call::retryClassify: return "retryClassify";
        case ScriptedLocalModel::Call::retryLatestTurn: return "retryLatestTurn";
    }
    return "?";
}

}  // namespace

ScriptedLocalModel::ScriptedLocalModel(Script script, ModelAvailability availability)
    : script_(std::move(script)), availability_(std::move(availability)), pack_(ModelPack::nudgerlyDefault()) {}

ModelAvailability ScriptedLocalModel::availability() const {
    std::lock_guard lock(mutex_);
    return availability_;
}

void ScriptedLocalModel::setAvailability(ModelAvailability availability) {
    std::lock_guard lock(mutex_);
    availability_ = std::move(availability);
}

ModelPack ScriptedLocalModel::activeModelPack() const {
    std::lock_guard lock(mutex_);
    return pack_;
}

std::shared_future<void> ScriptedLocalModel::selectModelPack(const ModelPack& pack) {
    std::lock_guard lock(mutex_);
    pack_ = pack;
    return done();
}

std::shared_future<void> ScriptedLocalModel::requestShutdown() {
    std::lock_guard lock(mutex_);
    ++shutdowns_;
    return done();
}

Classification ScriptedLocalModel::answer(Call call, const Conversation& conversation, std::stop_token stop) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::string(callName(call)) + ":" + conversation.id);
    }
    return script_(call, conversation, stop);
}

Classification ScriptedLocalModel::classify(const Conversation& conversation, std::stop_token stop) {
    return answer(Call::classify, conversation, stop);
}

Classification ScriptedLocalModel::classifyLatestTurn(const Conversation& conversation, std::stop_token stop) {
    return answer(Call::latestTurn, conversation, stop);
}

Classification ScriptedLocalModel::retryInvalidClassification(const Conversation& conversation, std::stop_token stop) {
    return answer(Call::retryClassify, conversation, stop);
}

Classification ScriptedLocalModel::retryInvalidLatestTurnClassification(const Conversation& conversation,
                                                                        std::stop_token stop) {
    return answer(Call::retryLatestTurn, conversation, stop);
}

std::vector<std::string> ScriptedLocalModel::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int ScriptedLocalModel::shutdownCount() const {
    std::lock_guard lock(mutex_);
    return shutdowns_;
}

Classification owed(ReviewStatus status, std::string summary, double confidence) {
    return {.needsAction = true,
            .status = status,
            .confidence = confidence,
            .summary = std::move(summary),
            .reason = "Because",
            .draft = "Sure.",
            .tags = {"tag"}};
}

Classification nothingOwed() {
    return {.needsAction = false, .confidence = 0.9, .summary = "", .reason = "Nothing owed"};
}

}  // namespace nudgerly::test
