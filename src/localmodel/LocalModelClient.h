#pragma once

#include <filesystem>
#include <future>
#include <optional>
#include <stop_token>
#include <string>

#include "localmodel/LocalModelClientSettings.h"
#include "localmodel/LocalModelService.h"
#include "localmodel/LocalServerSupervisor.h"
#include "modelpacks/ModelPack.h"
#include "review/Classification.h"
#include "review/Conversation.h"
#include "review/ModelAvailability.h"

namespace nudgerly {

// The local model as the classifier asks it: the classification passes with their compact and
// latest-turn prompts, the one restart of the server after it failed, and the chat exchange itself.
// The `llama-server` process is its supervisor's (LocalServerSupervisor): where it is, when it runs,
// how it stops. Safe to use from any thread.
class LocalModelClient : public LocalModelService {
public:
    using OwnedServer = LocalServerSupervisor::OwnedServer;

    LocalModelClient(ModelPack modelPack, LocalModelClientSettings settings);
    LocalModelClient(const LocalModelClient&) = delete;
    LocalModelClient& operator=(const LocalModelClient&) = delete;

    // As the supervisor says (see LocalServerSupervisor).
    ModelAvailability availability() const override { return supervisor_.availability(); }
    ModelPack activeModelPack() const override { return supervisor_.activeModelPack(); }
    std::optional<std::filesystem::path> environmentModelFile() const override {
        return supervisor_.environmentModelFile();
    }
    std::optional<std::filesystem::path> shippedModelFile() const override { return supervisor_.shippedModelFile(); }
    std::shared_future<void> selectModelPack(const ModelPack& pack) override {
        return supervisor_.selectModelPack(pack);
    }
    std::shared_future<void> requestShutdown() override { return supervisor_.requestShutdown(); }
    OwnedServer ensureStarted(std::stop_token stop) { return supervisor_.ensureStarted(stop); }

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
    // 5xx (a failed transfer or a 500 only when its health check then fails too); answerMissing when
    // the transfer failed or timed out but the server is still healthy; contextTooLarge or badResponse
    // for other unusable answers (an answer over the size limit included). CancelledError when stopped.
    Classification complete(const std::string& prompt, const OwnedServer& server, std::stop_token stop);

private:
    Classification classifyOnce(const Conversation& conversation, std::stop_token stop);
    Classification latestTurnOnce(const Conversation& conversation, std::stop_token stop);
    template <typename Pass>
    Classification withOneRestart(Pass pass, std::stop_token stop);

    const LocalModelClientSettings settings_;
    LocalServerSupervisor supervisor_;
};

}  // namespace nudgerly
