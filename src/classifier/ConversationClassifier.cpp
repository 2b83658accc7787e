#include "classifier/ConversationClassifier.h"

#include <algorithm>
#include <limits>

#include "classifier/ClassificationCachePolicy.h"
#include "classifier/ClassificationPolicy.h"
#include "classifier/Guardrails.h"
#include "classifier/HeuristicClassifier.h"
#include "classifier/LatestTurnPolicy.h"
#include "classifier/PriorityPolicy.h"
#include "core/CancelledError.h"
#include "core/JsonWriter.h"
#include "localmodel/LocalModelClient.h"
#include "localmodel/LocalModelDiagnosticPolicy.h"
#include "localmodel/LocalModelError.h"
#include "platform/system/LocalCalendar.h"
#include "review/CompletionKeyPolicy.h"

namespace nudgerly {
namespace {

// A stop request of the run itself, as opposed to a cancellation that only came from the model client
// being shut down underneath the run.
struct RunStopped {};

std::optional<std::string> completionKey(const Conversation& conversation, ConversationMemo::Derived* derived) {
    if (!derived) {
        return CompletionKeyPolicy::key(conversation);
    }
    if (!derived->completionKey) {
        derived->completionKey = CompletionKeyPolicy::key(conversation);
    }
    return *derived->completionKey;
}

bool urgentWording(const Conversation& conversation, ConversationMemo::Derived* derived) {
    if (!derived) {
        return PriorityPolicy::hasUrgentWording(conversation);
    }
    if (!derived->urgentWording) {
        derived->urgentWording = PriorityPolicy::hasUrgentWording(conversation);
    }
    return *derived->urgentWording;
}

// `lookbackDays` calendar days before the batch was read; nothing when the calendar cannot say (the
// smallest integer has no negation, so it is refused before it is negated).
std::optional<Date> windowStart(LocalCalendar& calendar, const ConversationBatch& batch) {
    if (batch.lookbackDays == std::numeric_limits<int64_t>::min()) {
        return std::nullopt;
    }
    return calendar.addingDays(batch.generatedAt, -batch.lookbackDays);
}

int statusRank(ReviewStatus status) {
    switch (status) {
        case ReviewStatus::reply: return 0;
        case ReviewStatus::action: return 1;
        case ReviewStatus::nudgerly: return 2;
    }
    return 9;
}

}  // namespace

// The fields that describe the run in progress; a new run starts from a clean set.
struct ConversationClassifier::Run {
    ModelAvailability availability;
    bool usedLocalModel = false;
    std::optional<std::string> issue;
    std::optional<std::string> diagnosticCode;
    bool circuitOpen = false;

    // Records a model failure. A problem of one conversation (too large, an invalid answer) neither
    // stops the model for the others nor hides an earlier problem; a problem of the runtime opens the
    // circuit and always wins. A slow answer from a healthy server is nobody's fault to report: that
    // conversation alone goes without the model.
    void noteModelIssue(const std::exception_ptr& error) {
        bool conversationProblem = false;
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const LocalModelError& modelError) {
            if (modelError.kind() == LocalModelError::Kind::answerMissing) {
                return;
            }
            conversationProblem = modelError.kind() == LocalModelError::Kind::contextTooLarge ||
                                  modelError.kind() == LocalModelError::Kind::badResponse;
        } catch (...) {
        }
        if (conversationProblem) {
            if (diagnosticCode) {
                return;
            }
        } else {
            circuitOpen = true;
        }
        diagnosticCode = LocalModelDiagnosticPolicy::code(error);
        issue = LocalModelDiagnosticPolicy::userMessage(error);
    }
};

struct ConversationClassifier::Outcome {
    Classification classification;
    bool cacheable = false;
};

ConversationClassifier::ConversationClassifier(std::shared_ptr<LocalModelService> localModel, MainQueue& mainQueue,
                                               Clock now)
    : localModel_(std::move(localModel)), mainQueue_(mainQueue), now_(std::move(now)) {}

ConversationClassifier::ConversationClassifier(const ModelPack& modelPack, const std::filesystem::path& dataFolder,
                                               MainQueue& mainQueue)
    : ConversationClassifier(
          std::make_shared<LocalModelClient>(modelPack, LocalModelClientSettings{.dataFolder = dataFolder}),
          mainQueue) {}

void ConversationClassifier::reportProgress(const ProgressCallback& onProgress, int64_t completed, int64_t total,
                                            std::stop_token stop) {
    if (!onProgress) {
        return;
    }
    // The call may still run after a stop ended the wait, so it owns a copy of the callback.
    runOnMainAndWait(
        mainQueue_, [onProgress, completed, total] { onProgress(completed, total); }, stop);
}

SnapshotClassificationResult ConversationClassifier::makeSnapshotWithReport(
    const ConversationBatch& batch, const std::optional<ReviewSnapshot>& previous, ProgressCallback onProgress,
    std::stop_token stop) {
    SnapshotRunGate::Hold hold(gate_, stop);
    if (!hold.held()) {
        // Stopped while another run went first: nothing was finished. The held calendar belongs to
        // the running run, so this one dates its window with its own.
        LocalCalendar calendar;
        return {makeSnapshot(batch, {}, {}, calendar), ModelRunReport{}};
    }

    Run run;
    run.availability = localModel_->availability();
    const ModelPack pack = localModel_->activeModelPack();
    // The shipped model is known by its file alone: another file placed there must not reuse its
    // decisions, and one that cannot be told apart keeps none.
    const auto shippedModel = localModel_->shippedModelFile();
    const auto shippedSignature = shippedModel ? ClassificationCachePolicy::fileSignature(*shippedModel) : std::nullopt;
    const std::string signature = ClassificationCachePolicy::engineSignature(run.availability, pack, shippedSignature);
    const bool cachingAllowed =
        ClassificationCachePolicy::allowsPersistentCaching() && (!shippedModel || shippedSignature);
    const auto reuse =
        ClassificationCachePolicy::reuseTable(previous ? &*previous : nullptr, signature, cachingAllowed);

    const auto total = static_cast<int64_t>(batch.conversations.size());
    reportProgress(onProgress, 0, total, stop);

    if (!calendar_ || !calendar_->isCurrent()) {
        calendar_ = std::make_unique<LocalCalendar>();  // the user changed language or time zone
    }
    LocalCalendar& calendar = *calendar_;
    std::vector<ReviewItem> items;
    std::vector<CachedConversationClassification> cache;
    items.reserve(batch.conversations.size());
    cache.reserve(batch.conversations.size());
    for (int64_t index = 0; index < total; ++index) {
        if (stop.stop_requested()) {
            break;
        }
        const Conversation& conversation = batch.conversations[static_cast<std::size_t>(index)];

        std::optional<ReviewItem> item;
        try {
            ConversationMemo::Derived* derived = memo_.reuse(conversation);
            if (!derived) {
                try {
                    derived = memo_.remember(conversation, ClassificationCachePolicy::fingerprint(conversation));
                } catch (const std::exception&) {
                    // Classified normally, but neither looked up nor cached.
                }
            }
            const std::string* fingerprint = derived ? &derived->fingerprint : nullptr;

            std::optional<Outcome> outcome;
            if (fingerprint) {
                if (auto reused = ClassificationCachePolicy::reusedClassification(reuse, conversation, *fingerprint)) {
                    outcome = Outcome{std::move(*reused), true};
                }
            }
            if (!outcome) {
                outcome = classifyForSnapshot(conversation, run, stop);
            }
            if (stop.stop_requested()) {
                break;  // the outcome of a stopped run is dropped
            }

            const Classification& classification = outcome->classification;
            if (classification.needsAction && classification.status && !conversation.messages.empty()) {
                item = makeItem(conversation, classification, derived, calendar);
            }
            if (cachingAllowed && outcome->cacheable && fingerprint) {
                cache.push_back(ClassificationCachePolicy::cacheEntry(conversation, *fingerprint, signature,
                                                                      outcome->classification));
            }
        } catch (const RunStopped&) {
            break;
        } catch (const std::exception&) {
            // Only the model path is expected to fail, and it falls back inside; should a rule fail
            // anyway, this conversation is skipped (no entry, no item) rather than the whole run lost.
            item.reset();
        }
        reportProgress(onProgress, index + 1, total, stop);
        if (item) {
            items.push_back(std::move(*item));
        }
    }

    memo_.finishRun();

    return {makeSnapshot(batch, std::move(items), std::move(cache), calendar),
            ModelRunReport{run.usedLocalModel, run.issue, run.diagnosticCode}};
}

ReviewSnapshot ConversationClassifier::makeSnapshot(const ConversationBatch& batch, std::vector<ReviewItem> items,
                                                    std::vector<CachedConversationClassification> cache,
                                                    LocalCalendar& calendar) {
    std::stable_sort(items.begin(), items.end(), [](const ReviewItem& a, const ReviewItem& b) {
        return statusRank(a.status) < statusRank(b.status);
    });
    const auto itemCount = static_cast<int64_t>(items.size());
    return {
        .generatedAt = batch.generatedAt,
        .windowStart = windowStart(calendar, batch).value_or(batch.generatedAt),
        .windowEnd = batch.generatedAt,
        .messageCount = batch.messageCount,
        .activeConversations = batch.activeConversations,
        .inboundEndingCount = batch.inboundEndingCount,
        .clearedCount = batch.inboundEndingCount > itemCount ? batch.inboundEndingCount - itemCount : 0,
        .items = std::move(items),
        .classificationCache = std::move(cache),
    };
}

ReviewItem ConversationClassifier::makeItem(const Conversation& conversation, const Classification& classification,
                                            ConversationMemo::Derived* derived, LocalCalendar& calendar) {
    const ConversationMessage& latest = conversation.messages.back();
    std::string context;
    if (latest.displayText) {
        context = *latest.displayText;
    } else if (!latest.linkPreview) {
        context = latest.text;
    }
    return {
        .id = conversation.id,
        .completionKey = completionKey(conversation, derived),
        .source = conversation.source,
        .status = *classification.status,
        .person = conversation.person,
        .target = conversation.target,
        .date = calendar.format(latest.date, "MMM d \u00B7 h:mm a"),
        .timestamp = latest.date,
        .priority = PriorityPolicy::score(conversation, classification, now_(), urgentWording(conversation, derived)),
        .isKnownContact = conversation.isKnownContact,
        .summary = classification.summary,
        .context = std::move(context),
        .verdict = classification.reason,
        .draft = classification.draft,
        .tags = classification.tags,
        .openURL = conversation.openURL,
        .confidence = classification.confidence,
        .messageLinkPreview = latest.linkPreview,
    };
}

ConversationClassifier::Outcome ConversationClassifier::classifyForSnapshot(const Conversation& conversation, Run& run,
                                                                            std::stop_token stop) {
    if (auto certain = Guardrails::firstCertain(conversation)) {
        return {std::move(*certain), true};
    }
    // An empty conversation gives the model nothing to judge; asking it would only produce an invalid
    // answer and a needless warning.
    if (run.availability.kind != ModelAvailability::Kind::bundled || run.circuitOpen || conversation.messages.empty()) {
        return {HeuristicClassifier::classify(conversation), false};
    }
    if (auto modelOutcome = classifyWithModel(conversation, run, stop)) {
        return std::move(*modelOutcome);
    }
    return {HeuristicClassifier::classify(conversation), false};
}

// The primary model pass with its one compact retry, then the latest-turn pass where it is needed.
// Nothing means: fall back to the heuristic.
std::optional<ConversationClassifier::Outcome> ConversationClassifier::classifyWithModel(
    const Conversation& conversation, Run& run, std::stop_token stop) {
    std::optional<Classification> primary;
    try {
        primary = ClassificationPolicy::normalize(localModel_->classify(conversation, stop), conversation);
        if (!primary || !ClassificationCachePolicy::isUsable(*primary)) {
            primary = ClassificationPolicy::normalize(localModel_->retryInvalidClassification(conversation, stop),
                                                      conversation);
            if (!primary || !ClassificationCachePolicy::isUsable(*primary)) {
                throw LocalModelError(LocalModelError::Kind::badResponse);
            }
        }
    } catch (const CancelledError&) {
        if (stop.stop_requested()) {
            throw RunStopped{};
        }
        // The client was shut down under the run (a model change, quitting): not a model failure.
        return std::nullopt;
    } catch (const JsonEncodingError&) {
        // This conversation has no prompt form (a date beyond what the prompt can write): a fault of
        // its data, not of the model, so the others still go to the model and nothing is reported.
        return std::nullopt;
    } catch (...) {
        run.noteModelIssue(std::current_exception());
        return std::nullopt;
    }

    run.usedLocalModel = true;
    if (!LatestTurnPolicy::needsAdjudication(conversation, *primary)) {
        return Outcome{std::move(*primary), true};
    }
    return adjudicateLatestTurn(conversation, *primary, run, stop);
}

ConversationClassifier::Outcome ConversationClassifier::adjudicateLatestTurn(const Conversation& conversation,
                                                                             const Classification& primary, Run& run,
                                                                             std::stop_token stop) {
    try {
        auto assessment =
            LatestTurnPolicy::normalizeAssessment(localModel_->classifyLatestTurn(conversation, stop), conversation);
        if (!assessment || !ClassificationCachePolicy::isUsable(*assessment)) {
            assessment = LatestTurnPolicy::normalizeAssessment(
                localModel_->retryInvalidLatestTurnClassification(conversation, stop), conversation);
            if (!assessment || !ClassificationCachePolicy::isUsable(*assessment)) {
                throw LocalModelError(LocalModelError::Kind::badResponse);
            }
        }
        auto overridden = LatestTurnPolicy::replyOverride(primary, *assessment, conversation);
        return {overridden ? std::move(*overridden) : primary, true};
    } catch (const CancelledError&) {
        if (stop.stop_requested()) {
            throw RunStopped{};
        }
        return {primary, false};
    } catch (const JsonEncodingError&) {
        return {primary, false};
    } catch (...) {
        run.noteModelIssue(std::current_exception());
        return {primary, false};
    }
}

}  // namespace nudgerly
