// A whole Gmail inbox refresh against the loopback fake of the Gmail API over HTTPS: 500 threads of
// three messages each (plain and HTML alternatives of a few KiB, quoted replies, a signature), listed
// in pages of 100, fetched six at a time and turned into conversations. Each round refreshes once
// straight to the server and once through a relay that holds every byte for a while in each
// direction, as a real network's round trip does, each with a service of its own (so with no
// connection left open from before). Prints the medians, their ratio and the TLS handshakes the
// server counted per refresh.
//
// Usage: GmailRefreshBench [rounds] [delay each way, ms]     (defaults: 5 rounds, 25 ms)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "core/MainQueue.h"
#include "files/TempDir.h"
#include "loopback/DelayingRelay.h"
#include "loopback/FakeGmailApi.h"
#include "loopback/GmailFixtures.h"
#include "platform/net/HttpClient.h"
#include "platform/secrets/SecretStore.h"
#include "queues/ManualMainQueue.h"
#include "sources/gmail/GmailService.h"

namespace {

using namespace nudgerly;
namespace fixtures = nudgerly::test::GmailFixtures;

using Clock = std::chrono::steady_clock;

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

// The fake server with the inbox, and a fresh service for each refresh.
class RefreshSetup {
public:
    RefreshSetup() {
        gmail_.keepConnectionsOpen();
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
        secrets_.save(R"({"access_token":"access","expires_at":4000000000,"refresh_token":"refresh"})",
                      GmailService::tokensAccount);
    }

    uint16_t serverPort() const { return gmail_.port(); }
    std::size_t handshakes() const { return gmail_.tlsHandshakeCount(); }

    // One refresh by a new service that reaches the server at `port`, in seconds; negative on failure.
    double refresh(uint16_t port) {
        GmailApiEndpoint endpoint = gmail_.endpoint();
        endpoint.baseAddress = "https://127.0.0.1:" + std::to_string(port) + test::FakeGmailApi::basePath;
        GmailService service(GmailServiceDependencies{
            .dataDirectory = root_ / "data",
            .secrets = secrets_,
            .http = std::make_shared<CurlHttpClient>(),
            .urlOpener = nullptr,
            .mainQueue = main_,
            .clock = clock_,
            .api = endpoint,
        });
        const auto start = Clock::now();
        const auto batch = service.refresh(LookbackWindow::thirty, [](const ScanProgressUpdate&) {}, {});
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        return batch.conversations.size() == threadCount ? elapsed : -1;
    }

private:
    test::TempDir root_;
    test::FakeGmailApi gmail_{true};
    SecretStore secrets_{root_ / "secrets", "bench"};
    ManualMainQueue main_;  // made here, so the refreshes run on its main thread
    SystemClock clock_;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The machine is shared: figures of a busy minute are not those of an idle one.
std::string loadAverage() {
    std::string line;
    std::getline(std::ifstream("/proc/loadavg"), line);
    return line.substr(0, line.find(' ', line.find(' ', line.find(' ') + 1) + 1));
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::stoi(argv[1]) : 5;
    const std::chrono::milliseconds delay(argc > 2 ? std::stoi(argv[2]) : 25);

    RefreshSetup setup;
    const test::DelayingRelay relay(setup.serverPort(), delay);
    std::vector<double> direct;
    std::vector<double> relayed;
    std::size_t mostHandshakes = 0;
    for (int round = 0; round < rounds; ++round) {
        // Alternating which goes first spreads a change in the machine's load over both.
        for (const bool throughRelay : {round % 2 == 1, round % 2 == 0}) {
            const std::size_t before = setup.handshakes();
            const double seconds = setup.refresh(throughRelay ? relay.port() : setup.serverPort());
            const std::size_t handshakes = setup.handshakes() - before;
            if (seconds < 0) {
                std::fprintf(stderr, "not every thread became a conversation\n");
                return 1;
            }
            mostHandshakes = std::max(mostHandshakes, handshakes);
            (throughRelay ? relayed : direct).push_back(seconds);
            std::printf("round %d (load %s): %s %.2f s, %zu TLS handshakes\n", round + 1, loadAverage().c_str(),
                        throughRelay ? "relayed" : "direct ", seconds, handshakes);
        }
    }
    const double directMedian = median(direct);
    const double relayedMedian = median(relayed);
    std::printf(
        "median of %d rounds, %d threads (%d messages): direct %.2f s (%.0f messages/s); "
        "relayed (%lld ms each way) %.2f s; ratio %.2fx; at most %zu TLS handshakes per refresh\n",
        rounds, threadCount, threadCount * messagesPerThread, directMedian,
        threadCount * messagesPerThread / directMedian, static_cast<long long>(delay.count()), relayedMedian,
        relayedMedian / directMedian, mostHandshakes);
    return 0;
}
