#include <functional>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "classifier/AcknowledgedCommitmentGuardrail.h"
#include "classifier/ClassificationPolicy.h"
#include "classifier/ClassifierText.h"
#include "classifier/DeterministicPrefilter.h"
#include "classifier/DirectAskGuardrail.h"
#include "classifier/HeuristicClassifier.h"
#include "classifier/PriorityPolicy.h"
#include "classifier/RichLinkGuardrail.h"
#include "classifier/TransactionalShippingPolicy.h"
#include "sources/messages/GroupConversationPolicy.h"

namespace nudgerly {
namespace {

TEST(ClassifierPatternTests, EveryRulePatternCompilesWithIcu) {
    const std::vector<std::pair<const char*, std::function<std::vector<const Regex*>()>>> rules = {
        {"ClassifierText", ClassifierText::patterns},
        {"DirectAskGuardrail", DirectAskGuardrail::patterns},
        {"AcknowledgedCommitmentGuardrail", AcknowledgedCommitmentGuardrail::patterns},
        {"TransactionalShippingPolicy", TransactionalShippingPolicy::patterns},
        {"DeterministicPrefilter", DeterministicPrefilter::patterns},
        {"RichLinkGuardrail", RichLinkGuardrail::patterns},
        {"HeuristicClassifier", HeuristicClassifier::patterns},
        {"ClassificationPolicy", ClassificationPolicy::patterns},
        {"PriorityPolicy", PriorityPolicy::patterns},
        {"GroupConversationPolicy", GroupConversationPolicy::patterns},
    };
    for (const auto& [rule, patterns] : rules) {
        try {
            patterns();  // compiles each of them, once
        } catch (const std::exception& error) {
            ADD_FAILURE() << rule << ": " << error.what();
        }
    }
}

}  // namespace
}  // namespace nudgerly
