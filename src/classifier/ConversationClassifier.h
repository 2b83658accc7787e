#pragma once

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <stop_token>

#include "classifier/ConversationMemo.h"
#include "classifier/SnapshotClassificationResult.h"
#include "classifier/SnapshotRunGate.h"
#include "core/Date.h"
#include "core/MainQueue.h"
#include "localmodel/LocalModelService.h"
#include "platform/system/LocalCalendar.h"
#include "review/ConversationBatch.h"

namespace nudgerly {

// Turns one batch of conversations into a sorted snapshot of queue items and a report on the local
// model. For each conversation it reuses a cached decision, or asks the guardrails, then the local
// model (normalised, with a latest-turn pass where the last message still asks something), or the
// Basic Mode heuristic. Runs are one at a time across both sources, in arrival order, and a run never
// fails: model problems fall back to the heuristic and show up in the report.
class ConversationClassifier {
public:
    // Called on the main thread with (completed, total); the run waits for each call.
    using ProgressCallback = std::function<void(int64_t completed, int64_t total)>;
    using Clock = std::function<Date()>;

    ConversationClassifier(std::shared_ptr<LocalModelService> localModel, MainQueue& mainQueue, Clock now = &Date::now);
    // A classifier with its own local model client for the pack, finding model packs in `dataFolder`.
    ConversationClassifier(const ModelPack& modelPack, const std::filesystem::path& dataFolder, MainQueue& mainQueue);

    // Blocks the calling worker thread for the whole run. A stop request ends the wait for an earlier
    // run or the loop at the next check, and returns the snapshot of the conversations finished so far.
    SnapshotClassificationResult makeSnapshotWithReport(const ConversationBatch& batch,
                                                        const std::optional<ReviewSnapshot>& previous,
                                                        ProgressCallback onProgress, std::stop_token stop);

    LocalModelService& localModel() { return *localModel_; }
    ModelAvailability modelAvailability() const { return localModel_->availability(); }
    // Both return at once; the result is ready once the model server is gone.
    std::shared_future<void> requestShutdown() { return localModel_->requestShutdown(); }
    std::shared_future<void> selectModelPack(const ModelPack& pack) { return localModel_->selectModelPack(pack); }

private:
    struct Run;
    struct Outcome;

    Outcome classifyForSnapshot(const Conversation& conversation, Run& run, std::stop_token stop);
    std::optional<Outcome> classifyWithModel(const Conversation& conversation, Run& run, std::stop_token stop);
    Outcome adjudicateLatestTurn(const Conversation& conversation, const Classification& primary, Run& run,
                                 std::stop_token stop);
    // The snapshot of the items and cache entries a run gathered, items sorted by status.
    static ReviewSnapshot makeSnapshot(const ConversationBatch& batch, std::vector<ReviewItem> items,
                                       std::vector<CachedConversationClassification> cache, LocalCalendar& calendar);
    // The queue item of a conversation whose classification asks for attention (it has a message).
    ReviewItem makeItem(const Conversation& conversation, const Classification& classification,
                        ConversationMemo::Derived* derived, LocalCalendar& calendar);
    void reportProgress(const ProgressCallback& onProgress, int64_t completed, int64_t total, std::stop_token stop);

    std::shared_ptr<LocalModelService> localModel_;
    MainQueue& mainQueue_;
    Clock now_;
    SnapshotRunGate gate_;
    // Touched only while the gate is held.
    ConversationMemo memo_;
    std::unique_ptr<LocalCalendar> calendar_;
};

}  // namespace nudgerly
