#include <chrono>

#include <gtest/gtest.h>

#include "ConversationFixtures.h"
#include "classifier/AcknowledgedCommitmentGuardrail.h"
#include "classifier/DeterministicPrefilter.h"
#include "classifier/DirectAskGuardrail.h"
#include "classifier/Guardrails.h"
#include "classifier/HeuristicClassifier.h"
#include "classifier/PassivePolicyNoticeGuardrail.h"
#include "classifier/QuestionSurfacePolicy.h"
#include "classifier/RichLinkGuardrail.h"
#include "classifier/TransactionalShippingPolicy.h"
#include "core/Text.h"

namespace nudgerly {
namespace {

using namespace fixtures;

std::string repeated(std::string_view piece, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += piece;
    }
    return result;
}

TEST(QuestionSurfaceTests, RemovesOnlyQuotedPassagesHoldingAQuestion) {
    using QuestionSurfacePolicy::removingQuotedQuestions;
    EXPECT_EQ(removingQuotedQuestions("She asked “are you coming?” and left"), "She asked  and left");
    EXPECT_EQ(removingQuotedQuestions("She asked \"are you coming?\" and left"), "She asked  and left");
    EXPECT_EQ(removingQuotedQuestions("He said ‘why not?’ twice"), "He said  twice");
    EXPECT_EQ(removingQuotedQuestions("He wrote “hello” to me"), "He wrote “hello” to me");
    EXPECT_EQ(removingQuotedQuestions("She asked 'are you coming?' and left"), "She asked 'are you coming?' and left");
    EXPECT_EQ(removingQuotedQuestions("She asked “are you coming? and left"), "She asked “are you coming? and left");
    EXPECT_EQ(removingQuotedQuestions("“Why?” he said, “what? now"), " he said, “what? now");
}

TEST(QuestionSurfaceTests, UnclosedQuotesDoNotStallTheRules) {
    // Unclosed quotes full of question marks once made the search cubic: seconds per message.
    const std::string hostile = repeated("“a?", 800);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(QuestionSurfacePolicy::removingQuotedQuestions(hostile), hostile);
    EXPECT_TRUE(Guardrails::firstCertain(saying(hostile, ReviewSource::gmail)) ||
                HeuristicClassifier::classify(saying(hostile)).needsAction);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST(DirectAskGuardrailTests, SettlesBareUpdateRequestsAsReplies) {
    const auto ask = DirectAskGuardrail::classifyIfCertain(saying("  ANY UPDATE?! \n"));
    ASSERT_TRUE(ask);
    EXPECT_EQ(*ask, (Classification{.needsAction = true,
                                    .status = ReviewStatus::reply,
                                    .confidence = 0.99,
                                    .summary = "ANY UPDATE?!",
                                    .reason = "A direct request for an update remains unanswered.",
                                    .draft = "Thanks for checking in—I’ll send you an update shortly.",
                                    .tags = {"Direct ask", "Update requested"}}));
    EXPECT_TRUE(DirectAskGuardrail::classifyIfCertain(saying("What is the status of the invoice?")));
    EXPECT_FALSE(DirectAskGuardrail::classifyIfCertain(saying("Any updates on the invoice?")));
    EXPECT_FALSE(DirectAskGuardrail::classifyIfCertain(conversation({outbound("Any update?")})));

    // Long summaries are cut, but keep their line breaks.
    const std::string text = "What's the latest?\n" + std::string(231, 'a');  // 250 characters
    EXPECT_EQ(DirectAskGuardrail::classifyIfCertain(saying(text))->summary, text.substr(0, 219) + "…");
}

TEST(AcknowledgedCommitmentTests, SettlesAWaitOnThePromisedDeliverable) {
    const std::string promise = "I'm still waiting for the deck you said you would send";
    const auto waiting = AcknowledgedCommitmentGuardrail::classifyIfCertain(saying(promise));
    ASSERT_TRUE(waiting);
    EXPECT_EQ(waiting->status, ReviewStatus::nudgerly);
    EXPECT_EQ(waiting->confidence, 0.99);
    EXPECT_EQ(waiting->summary, promise);
    EXPECT_EQ(waiting->tags, (std::vector<std::string>{"Open loop", "Your commitment"}));

    // Curly apostrophes and capitals read the same.
    EXPECT_TRUE(AcknowledgedCommitmentGuardrail::classifyIfCertain(
        saying("WE’RE WAITING FOR THE NUMBERS YOU PROMISED TO SHARE")));
    // A quoted question does not count as an open question; the summary keeps the quote.
    const std::string withQuote = promise + ". Ana asked “is it done?”";
    const auto quoted = AcknowledgedCommitmentGuardrail::classifyIfCertain(saying(withQuote));
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->summary, withQuote);

    EXPECT_FALSE(AcknowledgedCommitmentGuardrail::classifyIfCertain(saying(promise + ", never mind, I found it")));
    EXPECT_FALSE(AcknowledgedCommitmentGuardrail::classifyIfCertain(saying(promise + "?")));
    EXPECT_FALSE(AcknowledgedCommitmentGuardrail::classifyIfCertain(saying("“" + promise + "”")));
    EXPECT_FALSE(AcknowledgedCommitmentGuardrail::classifyIfCertain(saying("\"" + promise + "\"")));
}

TEST(AcknowledgedCommitmentTests, ExcerptCollapsesWhitespaceAndCutsByCharacters) {
    using AcknowledgedCommitmentGuardrail::excerpt;
    EXPECT_EQ(excerpt("  see \n\n you\t soon  "), "see you soon");
    // A thumbs-up with a skin tone is one character of eight bytes.
    const std::string thumb = "👍🏽";
    EXPECT_EQ(excerpt(repeated(thumb, 220)), repeated(thumb, 220));
    EXPECT_EQ(excerpt(repeated(thumb, 221)), repeated(thumb, 219) + "…");
    EXPECT_EQ(text::graphemeCount(excerpt(std::string(300, 'x'))), 220u);
}

TEST(PassivePolicyNoticeGuardrailTests, SettlesGmailPolicyNoticesOnly) {
    const std::string notice = "We've updated our Privacy Policy. No action is required.";
    const auto passive = PassivePolicyNoticeGuardrail::classifyIfCertain(saying(notice, ReviewSource::gmail));
    ASSERT_TRUE(passive);
    EXPECT_EQ(*passive, (Classification{.confidence = 0.99, .reason = "Passive business policy notice."}));
    EXPECT_FALSE(PassivePolicyNoticeGuardrail::classifyIfCertain(saying(notice)));
    // The subject and the text are read together.
    const auto joined =
        conversation({inbound("We have made changes to it.")}, ReviewSource::gmail, "Privacy policy update");
    EXPECT_TRUE(PassivePolicyNoticeGuardrail::classifyIfCertain(joined));
}

TEST(RichLinkGuardrailTests, JudgesTheWordsTheUserSees) {
    auto linked = [](std::optional<std::string> title, std::optional<std::string> display, std::string text) {
        ConversationMessage message = inbound(std::move(text));
        message.displayText = std::move(display);
        message.linkPreview = MessageLinkPreview{.title = std::move(title), .domain = "x.co", .url = "https://x.co/a"};
        message.messageID = 42;
        return conversation({inbound("earlier"), message});
    };

    const auto coffee =
        RichLinkGuardrail::classifyIfPresent(linked("Let's grab coffee next week", {}, "https://x.co/a"));
    ASSERT_TRUE(coffee);
    EXPECT_EQ(coffee->status, ReviewStatus::nudgerly);
    EXPECT_EQ(coffee->summary, "Dana suggested getting coffee.");
    EXPECT_EQ(coffee->tags, (std::vector<std::string>{"Open loop", "Optional"}));

    const auto asked = RichLinkGuardrail::classifyIfPresent(linked({}, {}, "Can you look at this https://x.co/a"));
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->status, ReviewStatus::reply);
    EXPECT_EQ(asked->summary, "Dana shared a link and asked for a response.");

    // The display text wins over the title.
    const auto task = RichLinkGuardrail::classifyIfPresent(linked("grab coffee", "Please sign\nthis form", "x"));
    ASSERT_TRUE(task);
    EXPECT_EQ(task->summary, "Dana shared a link with an action to complete.");

    const auto quiet = RichLinkGuardrail::classifyIfPresent(linked("Ten photos from the trip", {}, "https://x.co/a"));
    ASSERT_TRUE(quiet);
    EXPECT_FALSE(quiet->needsAction);
    EXPECT_EQ(quiet->reason, "No clear unanswered request or commitment was detected.");

    auto mail = linked("Let's grab coffee", {}, "https://x.co/a");
    mail.source = ReviewSource::gmail;
    EXPECT_FALSE(RichLinkGuardrail::classifyIfPresent(mail));
    EXPECT_EQ(RichLinkGuardrail::summary("Sam", ReviewStatus::nudgerly, "Catching up soon"),
              "Sam suggested catching up.");
}

TEST(DeterministicPrefilterTests, ClosesFinishedAndTransactionalMessages) {
    const auto closes = [](const Conversation& c) {
        const auto result = DeterministicPrefilter::classifyIfCertain(c);
        if (result) {
            EXPECT_EQ(*result, (Classification{.confidence = 0.99, .reason = "Closed or transactional message."}));
        }
        return result.has_value();
    };
    EXPECT_TRUE(closes(saying("Thanks, got it")));
    EXPECT_FALSE(closes(saying("Thanks!")));
    EXPECT_TRUE(closes(saying("We received your request and will respond shortly")));
    EXPECT_FALSE(closes(saying("We received your request and will respond shortly. Please reply to confirm.")));
    EXPECT_TRUE(closes(saying("My address is 12 Elm Road")));
    EXPECT_FALSE(closes(saying("My address is 12 Elm Road, can you confirm?")));
    EXPECT_TRUE(closes(saying("That’s ok, Ky said he would take them")));
    EXPECT_TRUE(closes(saying("Reply STOP to unsubscribe")));
}

TEST(TransactionalShippingTests, RecognisesQuietDeliveryUpdatesInMessagesOnly) {
    using TransactionalShippingPolicy::isUpdate;
    EXPECT_TRUE(isUpdate(saying("Your package was delivered")));
    EXPECT_FALSE(isUpdate(saying("Your package was not delivered")));
    EXPECT_FALSE(isUpdate(saying("Your package was delivered", ReviewSource::gmail)));
    // A question mark inside a tracking link is not a question; one outside it is.
    EXPECT_TRUE(isUpdate(saying("Your order has shipped: https://track.example.com/?id=12")));
    EXPECT_FALSE(isUpdate(saying("Your order has shipped. Did it arrive?")));
    EXPECT_FALSE(isUpdate(saying("Your prescription is ready for pickup, it arrived today")));
}

TEST(GuardrailOrderTests, TheEarlierGuardrailDecides) {
    // A passive notice wins over the update request in the same message.
    auto notice = conversation({inbound("Any update?")}, ReviewSource::gmail, "We've updated our privacy policy");
    EXPECT_EQ(Guardrails::firstCertain(notice)->reason, "Passive business policy notice.");
    // A bare update request wins over the closing thanks.
    EXPECT_EQ(Guardrails::firstCertain(saying("Thanks, got it. What's the latest on the lease?"))->status,
              ReviewStatus::reply);
    // The user's commitment wins over work handed to someone else.
    EXPECT_EQ(Guardrails::firstCertain(
                  saying("I'm still waiting for the slides you said you would send; Sam will handle the rest"))
                  ->status,
              ReviewStatus::nudgerly);
    // The rich-link answer (the heuristic's) comes before the prefilter's.
    ConversationMessage link = inbound("Our newsletter https://x.co");
    link.linkPreview = MessageLinkPreview{.title = "Our newsletter", .domain = "x.co", .url = "https://x.co"};
    EXPECT_EQ(Guardrails::firstCertain(conversation({link}))->reason, "Automated notification or transactional noise.");
    EXPECT_FALSE(Guardrails::firstCertain(saying("Are you free Thursday?")));
}

}  // namespace
}  // namespace nudgerly
