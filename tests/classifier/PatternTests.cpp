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
#include "classifier/QuestionSurfacePolicy.h"
#include "classifier/RichLinkGuardrail.h"
#include "classifier/TransactionalShippingPolicy.h"
#include "sources/messages/GroupConversationPolicy.h"

namespace nudgerly {
namespace {

TEST(ClassifierPatternTests, EveryRulePatternCompilesWithIcu) {
    const std::vector<std::pair<const char*, std::function<std::vector<const Regex*>()>>> rules = {
        {"ClassifierText", ClassifierText::patterns},
        {"QuestionSurfacePolicy", QuestionSurfacePolicy::patterns},
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
    std::size_t compiled = 0;
    for (const auto& [rule, patterns] : rules) {
        try {
            compiled += patterns().size();
        } catch (const std::exception& error) {
            ADD_FAILURE() << rule << ": " << error.what();
        }
    }
    EXPECT_EQ(compiled, 43u);
}

TEST(ClassifierPatternTests, QuotedPatternsKeepTheirStatedLengths) {
    // Lengths the rules state for their trickiest patterns, to catch a lost or doubled backslash.
    EXPECT_EQ(PriorityPolicy::patterns().at(0)->pattern().size(), 176u);
    EXPECT_EQ(QuestionSurfacePolicy::patterns().at(2)->pattern().size(), 18u);
    EXPECT_EQ(AcknowledgedCommitmentGuardrail::patterns().at(1)->pattern().size(), 10u);
    EXPECT_EQ(GroupConversationPolicy::patterns().at(0)->pattern(), "^\\s*(?:hey\\s+|hi\\s+)?([\\p{L}][\\p{L}'’.-]*)\\s*[:,]");
    EXPECT_EQ(GroupConversationPolicy::patterns().at(1)->pattern().size(), 177u);
}

}  // namespace
}  // namespace nudgerly
