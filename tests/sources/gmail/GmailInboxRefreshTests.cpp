#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "core/CancelledError.h"
#include "loopback/GmailFixtures.h"
#include "sources/gmail/GmailInboxRefresh.h"
#include "sources/gmail/GmailServiceFixture.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using test::FakeGmailAnswer;
using References = std::vector<std::pair<std::string, std::string>>;

constexpr const char* allFailed =
    "Gmail could not fetch any conversations after retrying. Your previous queue was kept.";

ScanProgressUpdate line(std::string detail) {
    return {.detail = std::move(detail)};
}

ScanProgressUpdate fetching(int64_t completed, int64_t total) {
    return {.detail = "Fetching Gmail conversations", .completed = completed, .total = total};
}

// A connected service over a fake inbox; refreshes run on the test's (main) thread unless a test
// starts them elsewhere.
class GmailInboxRefreshTests : public test::GmailServiceFixture {
protected:
    std::vector<ScanProgressUpdate> progress;

    GmailInboxRefreshTests() {
        storeTokens("access", "refresh", 3600);
        gmail.setAccessToken("access");
    }

    // A thread with one inbound message.
    void addThread(const std::string& id, const std::string& text = "Could you send the report?") {
        gmail.addThread(id, test::GmailFixtures::thread(
                                id, {{.id = id + "-m", .payload = test::GmailFixtures::part("text/plain", text)}}));
    }

    // `count` references spread over threads "t0", "t1", ... as `threadOf` assigns them.
    static References references(int count, int firstID, const std::function<int(int)>& threadOf) {
        References list;
        for (int index = 0; index < count; ++index) {
            list.emplace_back("m" + std::to_string(firstID + index), "t" + std::to_string(threadOf(index)));
        }
        return list;
    }

    ConversationBatch refresh(LookbackWindow lookback, std::stop_token stop = {}) {
        return makeService().refresh(
            lookback, [this](const ScanProgressUpdate& update) { progress.push_back(update); }, stop);
    }

    std::vector<std::string> threadRequests() const {
        std::vector<std::string> begun;
        for (const auto& event : gmail.events()) {
            if (event.starts_with("begin /users/me/threads/")) {
                begun.push_back(event.substr(std::string_view("begin /users/me/threads/").size()));
            }
        }
        return begun;
    }
};

TEST_F(GmailInboxRefreshTests, AnEmptyInboxGivesAnEmptyBatchOfTheLookbacksDays) {
    gmail.addMessagePage("", {});
    const auto batch = refresh(LookbackWindow::seven);
    EXPECT_EQ(progress, (std::vector<ScanProgressUpdate>{line("Checking Gmail authorization"),
                                                         line("Reading Gmail account details"),
                                                         line("Listing messages from the last 7 days"), fetching(0, 0),
                                                         line("Preparing conversations for local review")}));
    EXPECT_EQ(batch.lookbackDays, 7);
    EXPECT_EQ(batch.messageCount, 0);
    EXPECT_TRUE(batch.conversations.empty());
    EXPECT_FALSE(batch.warning);
    EXPECT_TRUE(batch.unavailableConversationIDs.empty());
    EXPECT_EQ(batch.generatedAt, main.now());
    const auto list = gmail.requests().back();
    EXPECT_EQ(list.path(), "/gmail/v1/users/me/messages");
    EXPECT_EQ(list.target,
              "/gmail/v1/users/me/messages?q=newer_than%3A7d%20in%3Ainbox%20-category%3Apromotions%20-category%3Asocial"
              "%20-category%3Aforums%20-in%3Aspam%20-in%3Atrash&labelIds=INBOX&maxResults=100");
    EXPECT_EQ(list.header("authorization"), "Bearer access");

    EXPECT_EQ(refresh(LookbackWindow::thirty).lookbackDays, 30);
    EXPECT_EQ(progress.at(progress.size() - 3).detail, "Listing messages from the last 30 days");
}

TEST_F(GmailInboxRefreshTests, ListsPageByPageUntilTheLastPageOrTwoThousandReferences) {
    const auto oneThread = [](int) { return 0; };
    addThread("t0");
    gmail.addMessagePage("", references(100, 0, oneThread), "p2");
    gmail.addMessagePage("p2", references(100, 100, oneThread), "p3");
    gmail.addMessagePage("p3", references(100, 200, oneThread));
    const auto batch = refresh(LookbackWindow::seven);
    EXPECT_EQ(batch.messageCount, 300);
    EXPECT_EQ(progress.at(2).detail, "Listing messages from the last 7 days");
    EXPECT_EQ(progress.at(3).detail, "Found 100 messages; checking for more");
    EXPECT_EQ(progress.at(4).detail, "Found 200 messages; checking for more");
    EXPECT_EQ(progress.at(5), fetching(0, 1));
    EXPECT_NE(gmail.requests().at(2).target.find("&pageToken=p2"), std::string::npos);

    // 1950 references, then a page that passes 2000 and offers more: the listing stops with all 2050.
    std::string token;
    for (int page = 0; page < 20; ++page) {
        const std::string next = "q" + std::to_string(page + 1);
        gmail.addMessagePage(token, references(page == 19 ? 50 : 100, 10'000 + page * 100, oneThread), next);
        token = next;
    }
    gmail.addMessagePage(token, references(100, 20'000, oneThread), "beyond");
    progress.clear();
    EXPECT_EQ(refresh(LookbackWindow::seven).messageCount, 2050);
    EXPECT_EQ(progress.at(progress.size() - 4).detail, "Found 1950 messages; checking for more");
}

TEST_F(GmailInboxRefreshTests, FetchesThreadsSixAtATimeInFirstSeenOrder) {
    // Forty references in twelve threads, first seen in the order t11, t10, ..., t0. Answers go out six at
    // a time, once six fetches are under way.
    gmail.addMessagePage("", references(40, 0, [](int index) { return 11 - index % 12; }));
    for (int thread = 0; thread < 12; ++thread) {
        const std::string id = "t" + std::to_string(thread);
        const auto body = test::GmailFixtures::thread(
            id, {{.id = id + "-m", .payload = test::GmailFixtures::part("text/plain", "Can we meet on " + id + "?")}});
        gmail.script("/users/me/threads/" + id, {{.body = body.dump(), .heldInGroupsOf = 6}});
    }

    const auto batch = refresh(LookbackWindow::seven);

    EXPECT_EQ(batch.messageCount, 40);
    EXPECT_EQ(batch.activeConversations, 12);
    EXPECT_EQ(batch.inboundEndingCount, 12);
    std::vector<std::string> ids;
    for (const auto& conversation : batch.conversations) {
        ids.push_back(conversation.id);
    }
    std::vector<std::string> expected;
    for (int thread = 11; thread >= 0; --thread) {
        expected.push_back("gmail-thread-t" + std::to_string(thread));
    }
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(std::vector(progress.begin() + 3, progress.end() - 1),
              (std::vector<ScanProgressUpdate>{fetching(0, 12), fetching(6, 12), fetching(12, 12)}));

    // The first chunk is the first six threads seen, and none of the second began before all of the
    // first had ended.
    auto firstChunk = threadRequests();
    ASSERT_EQ(firstChunk.size(), 12u);
    firstChunk.resize(6);
    std::ranges::sort(firstChunk);
    EXPECT_EQ(firstChunk, (std::vector<std::string>{"t10", "t11", "t6", "t7", "t8", "t9"}));
    const std::string begin = "begin /users/me/threads/";
    std::size_t endsOfFirstChunk = 0;
    for (const auto& event : gmail.events()) {
        if (event.starts_with("end /users/me/threads/")) {
            ++endsOfFirstChunk;
        } else if (event.starts_with(begin) && !std::ranges::binary_search(firstChunk, event.substr(begin.size()))) {
            EXPECT_GE(endsOfFirstChunk, 6u) << event;
        }
    }
    EXPECT_EQ(gmail.mostInFlight(), 6);
}

TEST_F(GmailInboxRefreshTests, FailedThreadsAreNamedAndTheRestArrive) {
    gmail.addMessagePage("", references(7, 0, [](int index) { return index; }));
    for (int thread = 0; thread < 7; ++thread) {
        if (thread != 3) {
            addThread("t" + std::to_string(thread));
        }
    }
    auto batch = refresh(LookbackWindow::seven);
    EXPECT_EQ(batch.conversations.size(), 6u);
    EXPECT_EQ(batch.warning,
              "Gmail refreshed, but 1 conversation could not be fetched after retrying. Nudgerly kept "
              "the previous queue entries for those conversations.");
    EXPECT_EQ(batch.unavailableConversationIDs, std::set<std::string>{"gmail-thread-t3"});
    EXPECT_EQ(progress.at(progress.size() - 2), fetching(7, 7));

    // A thread whose answer stays a server error after its retries fails too; a thread without text
    // is no failure, just no conversation.
    gmail.script("/users/me/threads/t5", {{.status = 500}, {.status = 500}, {.status = 500}});
    addThread("t6", "");
    batch = refresh(LookbackWindow::seven);
    EXPECT_EQ(batch.conversations.size(), 4u);
    EXPECT_EQ(batch.activeConversations, 4);
    EXPECT_EQ(batch.warning,
              "Gmail refreshed, but 2 conversations could not be fetched after retrying. Nudgerly kept "
              "the previous queue entries for those conversations.");
    EXPECT_EQ(batch.unavailableConversationIDs, (std::set<std::string>{"gmail-thread-t3", "gmail-thread-t5"}));
}

TEST_F(GmailInboxRefreshTests, NoThreadFetchedIsAnErrorButNoThreadsAtAllIsNot) {
    gmail.addMessagePage("", references(3, 0, [](int index) { return index; }));
    const auto error = gmailError([&] { refresh(LookbackWindow::seven); });
    EXPECT_EQ(error.kind(), GmailError::Kind::google);
    EXPECT_EQ(std::string(error.what()), allFailed);
    EXPECT_EQ(progress.back(), fetching(3, 3));
}

TEST_F(GmailInboxRefreshTests, TokenProfileAndListingErrorsEndTheRefresh) {
    secrets.remove(GmailService::tokensAccount);
    EXPECT_EQ(gmailError([&] { refresh(LookbackWindow::seven); }).kind(), GmailError::Kind::notConnected);
    EXPECT_EQ(progress, std::vector<ScanProgressUpdate>{line("Checking Gmail authorization")});

    storeTokens("access", "refresh", 3600);
    gmail.script("/users/me/messages", {{.status = 400, .body = R"({"error":{"message":"Invalid query"}})"}});
    EXPECT_EQ(std::string(gmailError([&] { refresh(LookbackWindow::seven); }).what()), "Invalid query");
}

TEST_F(GmailInboxRefreshTests, ProgressRunsOnTheMainThreadBeforeTheRefreshGoesOn) {
    gmail.addMessagePage("", references(2, 0, [](int index) { return index; }));
    addThread("t0");
    addThread("t1");
    auto& gmailService = makeService();
    const auto mainThread = std::this_thread::get_id();
    bool onMainThread = true;
    std::vector<std::size_t> requestsAtEachLine;
    auto run = std::async(std::launch::async, [&] {
        return gmailService.refresh(LookbackWindow::seven,
                                    [&](const ScanProgressUpdate&) {
                                        onMainThread = onMainThread && std::this_thread::get_id() == mainThread;
                                        requestsAtEachLine.push_back(gmail.requestCount());
                                    },
                                    {});
    });
    ASSERT_TRUE(main.runUntil([&] { return run.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(run.get().conversations.size(), 2u);
    EXPECT_TRUE(onMainThread);
    // Each line is seen before the request that follows it is made: profile, list, then two threads.
    EXPECT_EQ(requestsAtEachLine, (std::vector<std::size_t>{0, 0, 1, 2, 4, 4}));
}

TEST_F(GmailInboxRefreshTests, AStopMidChunkEndsTheRefreshWithinASecond) {
    gmail.addMessagePage("", references(8, 0, [](int index) { return index; }));
    for (int thread = 0; thread < 8; ++thread) {
        const std::string id = "t" + std::to_string(thread);
        addThread(id);
        gmail.script("/users/me/threads/" + id, {{.status = 200, .body = "{}", .delay = 10s}});
    }
    auto& gmailService = makeService();
    EXPECT_LT(timeToStop(
                  [&](std::stop_token stop) {
                      gmailService.refresh(
                          LookbackWindow::seven, [](const ScanProgressUpdate&) {}, stop);
                  },
                  [&] { return threadRequests().size() == 6; }),
              1s);
    EXPECT_EQ(threadRequests().size(), 6u);  // the second chunk never started
}

TEST(GmailInboxRefreshRules, ThreadIDsAndWarnings) {
    EXPECT_EQ(GmailInboxRefresh::threadIDs(
                  {{.id = "1", .threadID = "b"}, {.id = "2", .threadID = "a"}, {.id = "3", .threadID = "b"}}),
              (std::vector<std::string>{"b", "a"}));
    EXPECT_FALSE(GmailInboxRefresh::warning(0));
}

}  // namespace
}  // namespace nudgerly
