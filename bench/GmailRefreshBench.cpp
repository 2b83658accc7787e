// A whole Gmail inbox refresh against the loopback fake of the Gmail API: 500 threads of three
// messages each (plain and HTML alternatives of a few KiB, quoted replies, a signature), listed in
// pages of 100, fetched six at a time and turned into conversations. Reports messages converted per
// second. Loopback HTTP without TLS stands in for the network; real latency is left out.
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/Clock.h"
#include "core/MainQueue.h"
#include "platform/HttpClient.h"
#include "platform/SecretStore.h"
#include "sources/gmail/GmailService.h"
#include "support/FakeGmailApi.h"
#include "support/GmailFixtures.h"
#include "support/TempDir.h"

namespace {

using namespace nudgerly;
namespace fixtures = nudgerly::test::GmailFixtures;

constexpr int threadCount = 500;
constexpr int messagesPerThread = 3;

std::string paragraph(int thread, int message) {
    const std::string n = std::to_string(thread) + "." + std::to_string(message);
    return "Following up on the plan for item " + n +
           ": could you confirm the delivery date and send the updated figures before Friday? The team "
           "needs them for the review, and I would rather not move the meeting again. ";
}

nlohmann::json realisticPayload(int thread, int message) {
    std::string plain;
    std::string html = "<html><body><div dir=\"ltr\">";
    for (int line = 0; line < 8; ++line) {
        plain += paragraph(thread, message) + "\n\n";
        html += "<p style=\"margin:0 0 12px 0;font-family:Arial,sans-serif\">" + paragraph(thread, message) + "</p>";
    }
    plain += "Best,\nAda\n\nOn Tue, Mar 3, 2026 at 10:00 AM Grace <grace@example.com> wrote:\n";
    html += "<div class=\"gmail_signature\">Best,<br>Ada</div><blockquote class=\"gmail_quote\">";
    for (int line = 0; line < 10; ++line) {
        plain += "> " + paragraph(thread, message - 1) + "\n";
        html += "<p>" + paragraph(thread, message - 1) + "</p>";
    }
    html += "</blockquote></div></body></html>";
    return fixtures::multipart("multipart/alternative",
                               {fixtures::part("text/plain", plain, "text/plain; charset=UTF-8"),
                                fixtures::part("text/html", html, "text/html; charset=UTF-8")});
}

class RefreshSetup {
public:
    RefreshSetup() {
        gmail_.setProfile("me@example.com");
        std::vector<std::pair<std::string, std::string>> page;
        int pageNumber = 0;
        for (int thread = 0; thread < threadCount; ++thread) {
            const std::string id = "thread" + std::to_string(thread);
            std::vector<fixtures::Message> messages;
            for (int message = 0; message < messagesPerThread; ++message) {
                const std::string messageID = id + "-" + std::to_string(message);
                messages.push_back({.id = messageID,
                                    .internalDate = std::to_string(1'772'000'000'000 + thread * 1000 + message),
                                    .from = message == 1 ? "Me <me@example.com>" : "\"Ada Lovelace\" <ada@example.com>",
                                    .subject = "Plan for item " + std::to_string(thread),
                                    .payload = realisticPayload(thread, message)});
                page.emplace_back(messageID, id);
                if (page.size() == 100) {
                    const std::string token = pageNumber == 0 ? "" : "page" + std::to_string(pageNumber);
                    ++pageNumber;
                    gmail_.addMessagePage(token, page, "page" + std::to_string(pageNumber));
                    page.clear();
                }
            }
            gmail_.addThread(id, fixtures::thread(id, messages));
        }
        gmail_.addMessagePage("page" + std::to_string(pageNumber), page);

        const SecretStore secrets(root_ / "secrets", "bench");
        secrets.save(R"({"access_token":"access","expires_at":4000000000,"refresh_token":"refresh"})",
                     GmailService::tokensAccount);
        service_ = std::make_unique<GmailService>(GmailServiceDependencies{
            .dataDirectory = root_ / "data",
            .secrets = secrets,
            .http = std::make_shared<CurlHttpClient>(),
            .urlOpener = nullptr,
            .mainQueue = main_,
            .clock = clock_,
            .api = gmail_.endpoint(),
        });
    }

    GmailService& service() { return *service_; }

private:
    test::TempDir root_;
    test::FakeGmailApi gmail_;
    ManualMainQueue main_;  // made here, so the refresh below runs on its main thread
    SystemClock clock_;
    std::unique_ptr<GmailService> service_;
};

void refreshInbox(benchmark::State& state) {
    RefreshSetup setup;
    int64_t messages = 0;
    for (auto _ : state) {
        const auto batch = setup.service().refresh(30, [](const ScanProgressUpdate&) {}, {});
        messages += batch.messageCount;
        if (batch.conversations.size() != threadCount) {
            state.SkipWithError("not every thread became a conversation");
        }
    }
    state.SetItemsProcessed(messages);
    state.counters["messages_per_s"] = benchmark::Counter(static_cast<double>(messages), benchmark::Counter::kIsRate);
}
BENCHMARK(refreshInbox)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
