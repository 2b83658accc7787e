#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/GmailServiceSource.h"
#include "loopback/GmailFixtures.h"
#include "sources/gmail/GmailServiceFixture.h"

namespace nudgerly {
namespace {

using test::FakeTokenAnswer;
using Line = std::tuple<std::string, std::optional<int64_t>, std::optional<int64_t>>;

// The program's Gmail source over the real service, against the loopback token endpoint, Gmail API and
// a browser that signs in. The test's thread is the main thread.
class GmailServiceSourceTest : public test::GmailServiceFixture {
protected:
    GmailServiceSourceTest() { gmail.setAccessToken("access-1"); }

    std::shared_ptr<GmailSource> source = makeGmailServiceSource(dependencies());
};

TEST_F(GmailServiceSourceTest, StatusAndARefreshWithItsProgressLinesComeFromTheService) {
    storeTokens("access-1", "refresh-1", 3600);
    EXPECT_EQ(source->status(), (GmailConnectionStatus{.configured = true}));  // the store is read on request
    const GmailConnectionStatus connected{.configured = true, .connected = true, .email = "me@example.com"};
    EXPECT_EQ(source->loadStoredStatus({}), connected);
    EXPECT_EQ(source->status(), connected);

    gmail.addMessagePage("", {{"m1", "t1"}});
    gmail.addThread("t1", test::GmailFixtures::thread("t1", {{.id = "m1"}}));
    std::vector<Line> lines;
    const ConversationBatch batch =
        source->refresh(LookbackWindow::thirty,
                        [&](const std::string& detail, std::optional<int64_t> completed, std::optional<int64_t> total) {
                            lines.emplace_back(detail, completed, total);
                        },
                        {});
    ASSERT_EQ(batch.conversations.size(), 1u);
    EXPECT_EQ(batch.conversations[0].id, "gmail-thread-t1");
    EXPECT_EQ(lines, (std::vector<Line>{{"Checking Gmail authorization", std::nullopt, std::nullopt},
                                        {"Reading Gmail account details", std::nullopt, std::nullopt},
                                        {"Listing messages from the last 30 days", std::nullopt, std::nullopt},
                                        {"Fetching Gmail conversations", 0, 1},
                                        {"Fetching Gmail conversations", 1, 1},
                                        {"Preparing conversations for local review", std::nullopt, std::nullopt}}));

    // A client file that went is noticed on reload only; the account stays.
    std::filesystem::remove(root / "data" / "google-oauth-client.json");
    EXPECT_TRUE(source->status().configured);
    source->reloadClientConfiguration();
    EXPECT_EQ(source->status(),
              (GmailConnectionStatus{.configured = false, .connected = true, .email = "me@example.com"}));
}

TEST_F(GmailServiceSourceTest, StoredTokensAreReadFromTheStoreAcrossConnectAndDisconnect) {
    EXPECT_FALSE(source->hasStoredTokens({}));
    provider.script({FakeTokenAnswer::tokens("access-1", "refresh-1")});
    EXPECT_EQ(source->connect({}).email, "me@example.com");
    EXPECT_TRUE(source->hasStoredTokens({}));

    // An item gone from the store counts as gone, whatever the service still holds.
    secrets.remove(GmailService::tokensAccount);
    EXPECT_FALSE(source->hasStoredTokens({}));
    EXPECT_TRUE(source->status().connected);

    storeTokens("access-1", "refresh-1", 3600);
    source->disconnect();
    EXPECT_FALSE(source->hasStoredTokens({}));
    EXPECT_FALSE(storedTokens());
    EXPECT_EQ(source->status(), (GmailConnectionStatus{.configured = true}));
}

}  // namespace
}  // namespace nudgerly
