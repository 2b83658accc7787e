#include "classifier/ClassificationCachePolicy.h"

#include <cstdlib>

#include "core/Hashing.h"
#include "core/JsonCoding.h"
#include "core/JsonWriter.h"
#include "core/Sha256.h"
#include "core/Text.h"

namespace nudgerly::ClassificationCachePolicy {
namespace {}  // namespace

std::string engineSignature(const ModelAvailability& availability, const ModelPack& modelPack,
                            const std::optional<std::string>& modelFileSignature) {
    if (availability.kind != ModelAvailability::Kind::bundled) {
        return std::string(heuristicSignature);
    }
    const std::string model = modelFileSignature ? "file-" + *modelFileSignature : modelPack.sha256;
    return "local-model:" + modelPack.identifier + ":" + model + "|runtime:llama.cpp-b9000";
}

std::optional<std::string> fileSignature(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error) {
        return std::nullopt;
    }
    const auto modified = std::filesystem::last_write_time(file, error);
    if (error) {
        return std::nullopt;
    }
    return std::to_string(size) + "-" + std::to_string(modified.time_since_epoch().count());
}

bool allowsPersistentCaching() {
    return std::getenv("NUDGERLY_MODEL_PATH") == nullptr && std::getenv("NUDGERLY_LLAMA_SERVER") == nullptr;
}

std::string fingerprint(const Conversation& conversation) {
    return Sha256::hexDigest(JsonWriter::write(conversation.toJson(JsonCoding{DateCoding::unixSeconds})));
}

bool isUsable(const Classification& classification) {
    // Written so that a confidence that is not a number fails.
    const bool confidenceInRange = classification.confidence >= 0 && classification.confidence <= 1;
    return confidenceInRange && text::fitsInGraphemes(classification.summary, maximumTextCharacters) &&
           text::fitsInGraphemes(classification.reason, maximumTextCharacters) &&
           !(classification.needsAction && !classification.status);
}

std::size_t CacheIdentityHash::operator()(const CacheIdentity& identity) const {
    return hashFields(toRaw(identity.source), identity.conversationID);
}

ReuseTable reuseTable(const ReviewSnapshot* previous, std::string_view engineSignature, bool cachingAllowed) {
    ReuseTable table;
    if (!cachingAllowed || !previous || !previous->classificationCache) {
        return table;
    }
    for (const CachedConversationClassification& entry : *previous->classificationCache) {
        if (entry.classifierRevision == classifierRevision && entry.engineSignature == engineSignature) {
            table.insert_or_assign(CacheIdentity{entry.source, entry.conversationID}, &entry);
        }
    }
    return table;
}

std::optional<Classification> reusedClassification(const ReuseTable& table, const Conversation& conversation,
                                                   std::string_view fingerprint) {
    const auto found = table.find(CacheIdentity{conversation.source, conversation.id});
    if (found == table.end() || found->second->fingerprint != fingerprint) {
        return std::nullopt;
    }
    const CachedConversationClassification& entry = *found->second;
    if (!entry.needsAction) {
        // Nothing was owed: only the fact was stored, so rebuild the blank decision.
        return Classification{.needsAction = false, .confidence = 1.0};
    }
    // Stored decisions are not normalised again, so one that is out of bounds is left unused.
    const auto& stored = entry.classification;
    if (!stored || !stored->needsAction || !isUsable(*stored)) {
        return std::nullopt;
    }
    return *stored;
}

CachedConversationClassification cacheEntry(const Conversation& conversation, std::string fingerprint,
                                            std::string engineSignature, const Classification& classification) {
    return {
        .source = conversation.source,
        .conversationID = conversation.id,
        .fingerprint = std::move(fingerprint),
        .classifierRevision = classifierRevision,
        .engineSignature = std::move(engineSignature),
        .needsAction = classification.needsAction,
        .classification = classification.needsAction ? std::optional(classification) : std::nullopt,
    };
}

}  // namespace nudgerly::ClassificationCachePolicy
