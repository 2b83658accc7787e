#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "modelpacks/ModelPack.h"
#include "review/CachedConversationClassification.h"
#include "review/Classification.h"
#include "review/Conversation.h"
#include "review/ModelAvailability.h"
#include "review/ReviewSnapshot.h"
#include "review/ReviewSource.h"

// The keys of the classification cache kept inside each snapshot: a decision is reused only while
// the conversation's content, the classifier revision and the engine are all unchanged.
namespace nudgerly::ClassificationCachePolicy {

inline constexpr int64_t classifierRevision = 11;
inline constexpr std::string_view heuristicSignature = "heuristic-fallback";
// The longest summary or reason, in characters, that a usable classification may have; normalisation
// cuts the model's texts to it.
inline constexpr std::size_t maximumTextCharacters = 400;

// "heuristic-fallback" unless Local AI is available; then the pack and its digest with the runtime,
// or, for a model file that is not the pack's own download, that file's signature in place of the
// digest.
std::string engineSignature(const ModelAvailability& availability, const ModelPack& modelPack,
                            const std::optional<std::string>& modelFileSignature = std::nullopt);

// A model file's size and modification time, which change when another file is put in its place;
// nothing when the file cannot be read.
std::optional<std::string> fileSignature(const std::filesystem::path& file);

// False when either environment variable that points the model client at another model file or
// server program is present (whatever its value): answers from such a setup must not be kept.
bool allowsPersistentCaching();

// SHA-256 (lowercase hex) of the conversation's encoding with sorted keys and dates in seconds since
// 1970. Throws JsonEncodingError when a date cannot be encoded.
std::string fingerprint(const Conversation& conversation);

// The bounds a classification must meet to be used: confidence within 0...1, summary and reason of
// at most 400 characters, and a status whenever it asks for attention.
bool isUsable(const Classification& classification);

struct CacheIdentity {
    ReviewSource source = ReviewSource::messages;
    std::string conversationID;

    friend bool operator==(const CacheIdentity&, const CacheIdentity&) = default;
};

struct CacheIdentityHash {
    std::size_t operator()(const CacheIdentity& identity) const;
};

// Points into the previous snapshot's cache list, which must outlive the table.
using ReuseTable = std::unordered_map<CacheIdentity, const CachedConversationClassification*, CacheIdentityHash>;

// The previous snapshot's entries that the current revision and engine may reuse, keyed by source and
// conversation (a later duplicate wins). Empty when caching is not allowed or there is no snapshot.
ReuseTable reuseTable(const ReviewSnapshot* previous, std::string_view engineSignature, bool cachingAllowed);

// The stored decision for the conversation when its fingerprint is unchanged and the entry is sound.
std::optional<Classification> reusedClassification(const ReuseTable& table, const Conversation& conversation,
                                                   std::string_view fingerprint);

// The entry recorded for a cacheable outcome.
CachedConversationClassification cacheEntry(const Conversation& conversation, std::string fingerprint,
                                            std::string engineSignature, const Classification& classification);

}  // namespace nudgerly::ClassificationCachePolicy
