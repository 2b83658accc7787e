#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <future>
#include <regex>
#include <set>
#include <thread>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "core/CancelledError.h"
#include "core/Files.h"
#include "core/Sha256.h"
#include "localmodel/LocalModelClient.h"
#include "localmodel/LocalModelError.h"
#include "localmodel/LocalModelPromptPolicy.h"
#include "localmodel/LocalServerLaunchPolicy.h"
#include "loopback/LoopbackHttpServer.h"
#include "modelpacks/ModelVerification.h"
#include "platform/system/PhysicalCores.h"
#include "support/StandInServer.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;
using test::StandInScenario;
using Kind = LocalModelError::Kind;
using Clock = std::chrono::steady_clock;

const std::string decision = R"({"include_in_queue":true,"status":"reply","confidence":0.8,"summary":"S","reason":"R",)"
                             R"("draft":null,"tags":[],"sensitive":false})";
const Classification decided{
    .needsAction = true, .status = ReviewStatus::reply, .confidence = 0.8, .summary = "S", .reason = "R"};

Conversation conversation() {
    return Conversation{
        .id = "chat-1",
        .person = "Alex",
        .messages = {ConversationMessage{.text = "Can you send me the contract today?", .date = Date{760000000}}}};
}

const std::string fullPrompt = LocalModelPromptPolicy::classificationPrompt(conversation(), false);
const std::string compactPrompt = LocalModelPromptPolicy::classificationPrompt(conversation(), true);
const std::string latestTurnPrompt = LocalModelPromptPolicy::latestTurnPrompt(conversation());

std::optional<Kind> failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const LocalModelError& error) {
        return error.kind();
    }
    return std::nullopt;
}

// Waits up to five seconds for `condition`.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + 5s;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// A valid pack whose single file is `contents`.
ModelPack packFor(const std::string& identifier, const std::string& contents) {
    ModelPack pack = ModelPack::nudgerlyLarge();
    pack.identifier = identifier;
    pack.filename = "standin.gguf";
    pack.byteCount = static_cast<int64_t>(contents.size());
    pack.sha256 = Sha256::hexDigest(contents);
    return pack;
}

fs::path install(const fs::path& dataFolder, const ModelPack& pack, const std::string& contents) {
    const fs::path file = dataFolder / "ModelPacks" / pack.identifier / pack.filename;
    test::writeTestFile(file, contents);
    ModelVerification::recordVerifiedFile(file, file.parent_path() / ".verification.plist", pack, SystemFileManager{});
    return file;
}

// Changes the file's last byte but keeps its size and time, so that only hashing can tell.
void tamper(const fs::path& file) {
    const auto time = fs::last_write_time(file);
    std::string contents = readFile(file);
    contents.back() = contents.back() == ' ' ? '\n' : ' ';
    test::writeTestFile(file, contents);
    fs::last_write_time(file, time);
}

// Counts the requests the client makes, answered or not, after waiting for `ready`.
struct CountingHttpClient : HttpClient {
    explicit CountingHttpClient(std::function<bool()> ready) : ready(std::move(ready)) {}
    HttpResponse send(const HttpRequest& request, std::stop_token stop) override {
        eventually(ready);
        ++requests;
        return CurlHttpClient().send(request, stop);
    }
    std::function<bool()> ready;
    std::atomic<int> requests = 0;
};

class LocalModelClientTests : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& client : clients_) {
            client->shutdown();
        }
        // A killed process may take a moment to end and be reaped.
        EXPECT_TRUE(eventually([] { return test::remainingStandIns().empty(); }))
            << "a stand-in server outlived its test";
        test::killRemainingStandIns();
    }

    LocalModelClient& client(LocalModelClientSettings settings, ModelPack pack = ModelPack::nudgerlyLarge()) {
        clients_.push_back(std::make_unique<LocalModelClient>(std::move(pack), std::move(settings)));
        return *clients_.back();
    }
    LocalModelClient& client(const StandInScenario& scenario) {
        return client(test::testSettings(scenario.environment(), scenario.folder() / "data"));
    }

    struct Exchange {
        std::optional<Classification> result;
        std::optional<Kind> failure;
        std::vector<std::string> prompts;
        std::size_t launches = 0;
    };

    // One classification (or latest-turn judgement) against a server answering `answers` in turn.
    Exchange exchange(const json& answers, bool latestTurn = false) {
        StandInScenario scenario(json::array(), answers);
        LocalModelClient& model = client(scenario);
        Exchange outcome;
        try {
            outcome.result =
                latestTurn ? model.classifyLatestTurn(conversation(), {}) : model.classify(conversation(), {});
        } catch (const LocalModelError& error) {
            outcome.failure = error.kind();
        }
        model.shutdown();
        for (const auto& chat : scenario.chats()) {
            outcome.prompts.push_back(test::promptOf(chat));
        }
        outcome.launches = scenario.launches().size();
        return outcome;
    }

    std::vector<std::unique_ptr<LocalModelClient>> clients_;
};

TEST_F(LocalModelClientTests, StartsWithTheExactCommandLineAndReusesTheServer) {
    StandInScenario scenario;
    LocalModelClient& model = client(scenario);
    EXPECT_EQ(model.availability(), ModelAvailability::bundled());

    const auto server = model.ensureStarted({});
    const auto launches = scenario.launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0]["arguments"], json({"-m", scenario.modelFile().string(), "--host", "127.0.0.1", "--port",
                                              std::to_string(server.port), "--api-key", server.apiKey, "--ctx-size",
                                              "4096", "--parallel", "1", "--jinja", "--no-webui", "--log-disable"}));
    EXPECT_EQ(launches[0]["pid"], server.process->pid());
    // Threads and their waiting are told through the environment, leaving the command line as it is.
    const int threads = std::max(1, PhysicalCores::ofThisComputer() - 1);
    EXPECT_EQ(launches[0]["environment"],
              json({{"LLAMA_ARG_THREADS", std::to_string(threads)}, {"OMP_WAIT_POLICY", "passive"}}));
    EXPECT_GE(server.port, 49152);
    EXPECT_LE(server.port, 65535);
    EXPECT_TRUE(std::regex_match(server.apiKey, std::regex("[0-9a-f]{64}")));
    EXPECT_EQ(scenario.healthChecks().back()["authorization"], "Bearer " + server.apiKey);

    // A running, healthy server is reused.
    EXPECT_EQ(model.ensureStarted({}).process, server.process);
    EXPECT_EQ(scenario.launches().size(), 1u);

    // After a shutdown nothing reaches the old server; the next start is a new launch with a new key.
    model.shutdown();
    EXPECT_FALSE(server.process->isRunning());
    EXPECT_EQ(failureOf([&] { model.complete(fullPrompt, server, {}); }), Kind::serverUnavailable);
    EXPECT_TRUE(scenario.chats().empty());
    const auto next = model.ensureStarted({});
    EXPECT_NE(next.process, server.process);
    EXPECT_NE(next.apiKey, server.apiKey);
}

TEST_F(LocalModelClientTests, RelaunchesOnFreshPortsAndGivesUpAfterFourExits) {
    StandInScenario exiting(json::parse(R"([{"exitCode": 1}])"));
    LocalModelClient& failing = client(exiting);
    EXPECT_EQ(failureOf([&] { failing.ensureStarted({}); }), Kind::startupTimedOut);
    std::set<std::string> ports;
    for (const auto& launch : exiting.launches()) {
        ports.insert(test::argumentOf(launch, "--port"));
    }
    EXPECT_EQ(exiting.launches().size(), 4u);
    EXPECT_EQ(ports.size(), 4u);

    // One exit at start, then a server that dies later: each is replaced by a launch on another port.
    StandInScenario flaky(json::parse(R"([{"exitCode": 1}, {"exitAfterMs": 300}, {}])"));
    LocalModelClient& model = client(flaky);
    const auto first = model.ensureStarted({});
    ASSERT_EQ(flaky.launches().size(), 2u);
    EXPECT_NE(test::argumentOf(flaky.launches()[0], "--port"), std::to_string(first.port));
    ASSERT_TRUE(first.process->waitForExit(5s));
    const auto second = model.ensureStarted({});
    EXPECT_NE(second.process, first.process);
    EXPECT_EQ(flaky.launches().size(), 3u);
}

TEST_F(LocalModelClientTests, AServerThatNeverBecomesHealthyIsKilled) {
    // It even ignores SIGTERM.
    StandInScenario scenario(json::parse(R"([{"healthStatus": 503, "ignoreSignals": true}])"));
    auto settings = test::testSettings(scenario.environment(), scenario.folder() / "data");
    settings.healthCheckLimit = 5;
    // However slowly the stand-in comes up, it is checked only once it runs.
    const auto http = std::make_shared<CountingHttpClient>([&] { return !scenario.launches().empty(); });
    settings.http = http;
    LocalModelClient& model = client(std::move(settings));
    EXPECT_EQ(failureOf([&] { model.ensureStarted({}); }), Kind::startupTimedOut);
    EXPECT_EQ(http->requests, 5);
    EXPECT_EQ(scenario.launches().size(), 1u);
    EXPECT_TRUE(eventually([] { return test::remainingStandIns().empty(); }));
}

TEST_F(LocalModelClientTests, ShutdownEscalatesToKillAndASecondShutdownOnlyWaits) {
    StandInScenario scenario(json::parse(R"([{"ignoreSignals": true}])"));
    LocalModelClient& model = client(scenario);
    const auto server = model.ensureStarted({});

    const auto started = Clock::now();
    std::thread first([&] { model.shutdown(); });
    // The first SIGTERM marks a shutdown under way, however late the thread got to run.
    EXPECT_TRUE(eventually([&] { return !scenario.signals(0).empty(); }));
    // While it stops the server no start may launch another, which the shutdown would not stop.
    EXPECT_THROW(model.ensureStarted({}), CancelledError);
    EXPECT_EQ(scenario.launches().size(), 1u);
    model.shutdown();
    const auto secondReturned = Clock::now();
    first.join();

    // 40 polls after SIGTERM and 20 after SIGINT, 5 ms apart in these settings, before SIGKILL.
    EXPECT_GE(secondReturned - started, 300ms);
    EXPECT_EQ(scenario.signals(0), "TERM\nINT\n");  // each sent once: the second shutdown sent nothing
    ASSERT_FALSE(server.process->isRunning());      // reaped before the shutdown was done
    EXPECT_TRUE(WIFSIGNALED(*server.process->waitStatus()));
    EXPECT_EQ(WTERMSIG(*server.process->waitStatus()), SIGKILL);

    // Stopping is over: starts are accepted again.
    EXPECT_NE(model.ensureStarted({}).process, server.process);
}

TEST_F(LocalModelClientTests, AShutdownIsDoneOnlyOnceTheKilledServerHasEnded) {
    // A server that takes a while to end, and no time for it between the signals: as on a machine too
    // busy to end the process within the waits.
    StandInScenario scenario(json::parse(R"([{"ignoreSignals": true, "ballastMiB": 64}])"));
    auto settings = test::testSettings(scenario.environment(), scenario.folder() / "data");
    settings.shutdownPollInterval = 0ms;
    LocalModelClient& model = client(std::move(settings));
    const auto server = model.ensureStarted({});
    model.shutdown();
    EXPECT_FALSE(server.process->isRunning());
}

TEST_F(LocalModelClientTests, AKilledServerThatCannotBeReapedYetHoldsUpNeitherAShutdownNorTheClientsEnd) {
    // The first two launches stay unreapable for 8 s after they start, SIGKILL or not.
    const json held = {{"ignoreSignals", true}, {"unreapableForMs", 8000}};
    StandInScenario scenario(json::array({held, held, json::object()}));
    auto settings = test::testSettings(scenario.environment(), scenario.folder() / "data");
    settings.reapAfterKillLimit = 300ms;
    LocalModelClient& model = client(settings);
    const auto server = model.ensureStarted({});
    auto going = std::make_unique<LocalModelClient>(ModelPack::nudgerlyLarge(), settings);
    const auto other = going->ensureStarted({});

    const auto started = Clock::now();
    model.shutdown();
    going.reset();  // hurried straight to SIGKILL
    EXPECT_LT(Clock::now() - started, 4s);
    EXPECT_TRUE(server.process->isRunning());  // killed, not yet reaped
    EXPECT_NE(model.ensureStarted({}).process, server.process);

    // Reaped once the kernel lets go of them.
    EXPECT_TRUE(server.process->waitForExit(20s));
    EXPECT_TRUE(other.process->waitForExit(20s));
    EXPECT_EQ(WTERMSIG(*server.process->waitStatus()), SIGKILL);
}

TEST_F(LocalModelClientTests, TheCallerOnlyAsksForAShutdownAndNeverWaitsThroughIt) {
    StandInScenario scenario(json::parse(R"([{"ignoreSignals": true}])"));
    auto settings = test::testSettings(scenario.environment(), scenario.folder() / "data");
    // The stand-in ignores SIGTERM and the escalation would wait for hours before SIGINT: the shutdown
    // stays under way until the test ends the server itself.
    settings.terminateWaits = 1'000'000;
    LocalModelClient& model = client(std::move(settings));
    const auto server = model.ensureStarted({});
    ModelPack other = model.activeModelPack();
    other.displayName += " (other)";

    auto asking = std::async(std::launch::async, [&] { return model.selectModelPack(other); });
    const bool returned = asking.wait_for(10s) == std::future_status::ready;
    if (!returned) {
        server.process->kill();  // lets a caller that waits through the shutdown go
    }
    ASSERT_TRUE(returned) << "the caller waited for the shutdown";
    const std::shared_future<void> stopped = asking.get();
    EXPECT_EQ(stopped.wait_for(0s), std::future_status::timeout);
    EXPECT_EQ(model.requestShutdown().wait_for(0s), std::future_status::timeout);  // the same shutdown
    EXPECT_TRUE(eventually([&] { return scenario.signals(0) == "TERM\n"; }));      // sent from elsewhere
    server.process->kill();
    stopped.wait();  // and over without the caller, once the server is gone
    EXPECT_EQ(model.requestShutdown().wait_for(0s), std::future_status::ready);  // nothing left to stop
}

TEST_F(LocalModelClientTests, DestroyingTheClientStopsItsServer) {
    StandInScenario scenario(json::parse(R"([{"ignoreSignals": true}])"));
    auto settings = test::testSettings(scenario.environment(), scenario.folder() / "data");
    auto running = std::make_unique<LocalModelClient>(ModelPack::nudgerlyLarge(), settings);
    const auto first = running->ensureStarted({});
    auto stopping = std::make_unique<LocalModelClient>(ModelPack::nudgerlyLarge(), settings);
    const auto second = stopping->ensureStarted({});
    stopping->requestShutdown();  // gone before its escalation is over

    const auto destroyed = Clock::now();
    running.reset();
    stopping.reset();
    EXPECT_LT(Clock::now() - destroyed, 1s);  // cut short to SIGKILL
    EXPECT_FALSE(first.process->isRunning());
    EXPECT_FALSE(second.process->isRunning());
}

TEST_F(LocalModelClientTests, AShutdownOrAStopDuringStartUpEndsTheStart) {
    // A shutdown while the start waits for health: the start gives up and adopts nothing.
    StandInScenario loading(json::parse(R"([{"healthStatus": 503}])"));
    LocalModelClient& model = client(loading);
    std::exception_ptr failure;
    std::thread start([&] {
        try {
            model.ensureStarted({});
        } catch (...) {
            failure = std::current_exception();
        }
    });
    ASSERT_TRUE(eventually([&] { return !loading.healthChecks().empty(); }));
    model.shutdown();
    start.join();
    EXPECT_THROW(std::rethrow_exception(failure), CancelledError);
    EXPECT_EQ(loading.launches().size(), 1u);
    EXPECT_TRUE(eventually([] { return test::remainingStandIns().empty(); }));

    // A stopped caller leaves the server starting; the next start adopts it instead of launching.
    StandInScenario slow(json::parse(R"([{"healthyAfterMs": 600}])"));
    LocalModelClient& other = client(slow);
    std::stop_source stop;
    std::thread stopper([&] {
        eventually([&] { return !slow.healthChecks().empty(); });
        stop.request_stop();
    });
    EXPECT_THROW(other.ensureStarted(stop.get_token()), CancelledError);
    stopper.join();
    const auto server = other.ensureStarted({});
    EXPECT_EQ(slow.launches().size(), 1u);
    EXPECT_EQ(slow.launches()[0]["pid"], server.process->pid());
}

TEST_F(LocalModelClientTests, ClassifyFallsBackToTheCompactPromptAndRestartsOnce) {
    const json ok = {{"content", "Sure. " + decision + " Hope that helps."}};
    const json tooLarge = {{"status", 400}, {"errorType", "exceed_context_size_error"}};
    const json unavailable = {{"status", 503}, {"body", ""}};

    auto outcome = exchange(json::array({tooLarge, ok}));
    EXPECT_EQ(outcome.result, decided);
    EXPECT_EQ(outcome.prompts, (std::vector{fullPrompt, compactPrompt}));
    EXPECT_EQ(outcome.launches, 1u);

    // Any other 400, an undecodable answer, a 201 and an answer over 1 MiB are bad responses.
    for (const json& bad :
         {json{{"status", 400}, {"errorType", "invalid_request_error"}}, json{{"content", "I cannot decide."}},
          json{{"status", 201}, {"content", decision}}, json{{"content", decision}, {"padBytes", 1100000}}}) {
        outcome = exchange(json::array({bad, {{"content", decision}, {"padBytes", 900000}}}));
        EXPECT_EQ(outcome.result, decided) << bad;
        EXPECT_EQ(outcome.prompts, (std::vector{fullPrompt, compactPrompt})) << bad;
    }
    outcome = exchange(json::array({{{"content", "no"}}}));
    EXPECT_EQ(outcome.failure, Kind::badResponse);
    EXPECT_EQ(outcome.prompts.size(), 2u);

    // 5xx or a server gone mid-request: one shutdown, a fresh server, the full prompt again.
    outcome = exchange(json::array({unavailable, unavailable}));
    EXPECT_EQ(outcome.failure, Kind::serverUnavailable);
    EXPECT_EQ(outcome.prompts, (std::vector{fullPrompt, fullPrompt}));
    EXPECT_EQ(outcome.launches, 2u);
    outcome = exchange(json::array({{{"exit", true}}, ok}));
    EXPECT_EQ(outcome.result, decided);
    EXPECT_EQ(outcome.launches, 2u);

    // A broken connection from a server that still passes its health check: this conversation goes
    // without the model, and the server keeps running.
    outcome = exchange(json::array({{{"drop", true}}, ok}));
    EXPECT_EQ(outcome.failure, Kind::answerMissing);
    EXPECT_EQ(outcome.prompts, std::vector{fullPrompt});
    EXPECT_EQ(outcome.launches, 1u);

    // A 500 from a server that still passes its health check is an answer it could not read: the
    // compact prompt on the same server. Once the health check fails too, the server is restarted.
    const json unreadable = {{"status", 500}, {"errorType", "server_error"}};
    outcome = exchange(json::array({unreadable, ok}));
    EXPECT_EQ(outcome.result, decided);
    EXPECT_EQ(outcome.prompts, (std::vector{fullPrompt, compactPrompt}));
    EXPECT_EQ(outcome.launches, 1u);
    json dying = unreadable;
    dying["healthStatusAfter"] = 503;
    outcome = exchange(json::array({dying, ok}));
    EXPECT_EQ(outcome.result, decided);
    EXPECT_EQ(outcome.prompts, (std::vector{fullPrompt, fullPrompt}));
    EXPECT_EQ(outcome.launches, 2u);

    // The compact retry failing on the server restarts too: at most four requests.
    outcome = exchange(json::array({tooLarge, unavailable, tooLarge, unavailable}));
    EXPECT_EQ(outcome.failure, Kind::serverUnavailable);
    EXPECT_EQ(outcome.prompts, (std::vector{fullPrompt, compactPrompt, fullPrompt, compactPrompt}));
    EXPECT_EQ(outcome.launches, 2u);

    // The latest-turn pass restarts but never compacts.
    outcome = exchange(json::array({tooLarge}), true);
    EXPECT_EQ(outcome.failure, Kind::contextTooLarge);
    EXPECT_EQ(outcome.prompts, std::vector{latestTurnPrompt});
    outcome = exchange(json::array({unavailable, ok}), true);
    EXPECT_EQ(outcome.result, decided);
    EXPECT_EQ(outcome.prompts, (std::vector{latestTurnPrompt, latestTurnPrompt}));
    EXPECT_EQ(outcome.launches, 2u);
}

TEST_F(LocalModelClientTests, AStoppedRequestEndsPromptlyWithoutARestart) {
    StandInScenario scenario(json::array(), json::parse(R"([{"delayMs": 20000, "content": "{}"}])"));
    LocalModelClient& model = client(scenario);
    const auto server = model.ensureStarted({});
    std::stop_source stop;
    std::thread stopper([&] {
        eventually([&] { return !scenario.chats().empty(); });
        stop.request_stop();
    });
    const auto started = Clock::now();
    EXPECT_THROW(model.classify(conversation(), stop.get_token()), CancelledError);
    stopper.join();
    EXPECT_LT(Clock::now() - started, 5s);
    EXPECT_EQ(scenario.chats().size(), 1u);
    EXPECT_EQ(scenario.launches().size(), 1u);
    EXPECT_TRUE(server.process->isRunning());
}

TEST_F(LocalModelClientTests, ASlowAnswerIsNotADeadServer) {
    StandInScenario scenario(json::array(),
                             json::array({{{"delayMs", 20000}, {"content", decision}}, {{"content", decision}}}));
    auto settings = test::testSettings(scenario.environment(), scenario.folder() / "data");
    settings.requestTimeout = 300ms;
    LocalModelClient& model = client(std::move(settings));
    const auto server = model.ensureStarted({});

    EXPECT_EQ(failureOf([&] { model.classify(conversation(), {}); }), Kind::answerMissing);
    EXPECT_EQ(scenario.chats().size(), 1u);  // neither the compact prompt nor a restart
    EXPECT_TRUE(server.process->isRunning());
    EXPECT_EQ(model.classifyLatestTurn(conversation(), {}), decided);
    EXPECT_EQ(scenario.launches().size(), 1u);
}

TEST_F(LocalModelClientTests, NeitherAProxyNorAForeignListenerEverSeesARequest) {
    test::LoopbackHttpServer foreign([](const test::TestHttpRequest&, test::ResponseWriter& writer) {
        writer.respond(200, json{{"choices", {{{"message", {{"content", decision}}}}}}}.dump());
    });
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        setenv(name, foreign.baseUrl().c_str(), 1);
    }
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");

    StandInScenario scenario(json::array(), json::array({{{"content", decision}}}));
    auto settings = test::testSettings(scenario.environment(), scenario.folder() / "data");
    // The first port drawn is the one the foreign server listens on.
    auto draws = std::make_shared<int>(0);
    settings.drawPort = [draws, port = foreign.port(), next = settings.drawPort](const std::set<int>& excluded) {
        return (*draws)++ == 0 ? port : next(excluded);
    };
    LocalModelClient& model = client(std::move(settings));
    EXPECT_EQ(model.classify(conversation(), {}), decided);

    EXPECT_EQ(foreign.requestCount(), 0u);
    ASSERT_EQ(scenario.launches().size(), 1u);
    EXPECT_NE(test::argumentOf(scenario.launches()[0], "--port"), std::to_string(foreign.port()));
    EXPECT_EQ(scenario.chats().size(), 1u);
}

TEST_F(LocalModelClientTests, AvailabilityFollowsTheProgramAndTheModelFile) {
    StandInScenario scenario;
    const auto environment = scenario.environment();
    LocalModelClient& model = client(test::testSettings(environment, scenario.folder() / "data"));

    (*environment)["NUDGERLY_MODEL_PATH"] = (scenario.folder() / "absent.gguf").string();
    EXPECT_EQ(model.availability(), ModelAvailability::missing());
    EXPECT_EQ(failureOf([&] { model.ensureStarted({}); }), Kind::missingBundle);
    (*environment)["NUDGERLY_MODEL_PATH"] = scenario.modelFile().string();
    (*environment)["NUDGERLY_LLAMA_SERVER"] = scenario.modelFile().string();  // not executable
    EXPECT_EQ(model.availability(), ModelAvailability::missing());
    EXPECT_EQ(failureOf([&] { model.classify(conversation(), {}); }), Kind::missingBundle);
    EXPECT_TRUE(scenario.launches().empty());

    // While the server runs with the model still named, the files are not consulted.
    (*environment)["NUDGERLY_LLAMA_SERVER"] = StandInScenario::program();
    model.ensureStarted({});
    environment->erase("NUDGERLY_LLAMA_SERVER");
    EXPECT_EQ(model.availability(), ModelAvailability::bundled());
    (*environment)["NUDGERLY_MODEL_PATH"] = (scenario.folder() / "other.gguf").string();
    EXPECT_EQ(model.availability(), ModelAvailability::missing());
}

TEST_F(LocalModelClientTests, InstalledPacksAreTrustedByReceiptButHashedBeforeLaunch) {
    StandInScenario scenario;
    const auto environment = scenario.environment();
    environment->clear();
    const fs::path data = scenario.folder() / "data";
    auto settings = test::testSettings(environment, data);
    settings.runtimeFolder = scenario.folder() / "lib";
    settings.resourceFolder = scenario.folder() / "share";
    fs::create_directories(*settings.runtimeFolder / "ModelRuntime");
    fs::create_symlink(StandInScenario::program(), *settings.runtimeFolder / "ModelRuntime" / "llama-server");

    const std::string contents = scenario.text();
    const ModelPack first = packFor("standin-first", contents);
    const ModelPack second = packFor("standin-second", contents);
    LocalModelClient& model = client(std::move(settings), first);
    EXPECT_EQ(model.availability(), ModelAvailability::missing());
    const fs::path firstFile = install(data, first, contents);
    const fs::path secondFile = install(data, second, contents);
    EXPECT_EQ(model.availability(), ModelAvailability::bundled());
    const auto server = model.ensureStarted({});
    EXPECT_EQ(server.modelPath, firstFile);

    // Choosing the same pack keeps the server; another pack stops it and is loaded next time.
    model.selectModelPack(first).wait();
    EXPECT_TRUE(server.process->isRunning());
    model.selectModelPack(second).wait();
    EXPECT_FALSE(server.process->isRunning());
    EXPECT_EQ(model.activeModelPack(), second);
    EXPECT_EQ(model.ensureStarted({}).modelPath, secondFile);
    model.shutdown();

    // A stop while the file is hashed is a stop, not a failed check.
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_THROW(model.ensureStarted(stopped.get_token()), CancelledError);

    // A changed file keeps its receipt's word for availability but is never loaded.
    tamper(secondFile);
    EXPECT_EQ(model.availability(), ModelAvailability::bundled());
    EXPECT_EQ(failureOf([&] { model.ensureStarted({}); }), Kind::missingBundle);
    EXPECT_EQ(scenario.launches().size(), 2u);

    // For the default pack the model shipped with the program takes its place.
    const ModelPack defaultPack = packFor(ModelPack::nudgerlyDefault().identifier, contents);
    tamper(install(data, defaultPack, contents));
    const fs::path shipped = scenario.folder() / "share" / "Models" / "Qwen3-4B-Q4_K_M.gguf";
    test::writeTestFile(shipped, contents);
    model.selectModelPack(defaultPack);
    EXPECT_EQ(model.ensureStarted({}).modelPath, shipped);
}

TEST(LocalModelClientDefaultsTests, WaitsAndLimitsAreTheDesignedOnes) {
    const LocalModelClientSettings defaults;
    EXPECT_EQ(defaults.launchLimit, 4);
    EXPECT_EQ(defaults.initialHealthDelay, 100ms);
    EXPECT_EQ(defaults.healthCheckInterval, 100ms);
    EXPECT_EQ(defaults.healthCheckLimit, 600);
    EXPECT_EQ(defaults.healthCheckTimeout, 300ms);
    EXPECT_EQ(defaults.requestTimeout, 60s);
    EXPECT_EQ(defaults.failedRequestHealthCheckTimeout, 5s);
    EXPECT_EQ(defaults.maxResponseBytes, 1024u * 1024u);
    EXPECT_EQ(defaults.shutdownPollInterval, 25ms);
    EXPECT_EQ(defaults.terminateWaits, 40);
    EXPECT_EQ(defaults.interruptWaits, 20);
    EXPECT_EQ(defaults.reapAfterKillLimit, 3s);
}

TEST(LocalModelClientDefaultsTests, TheServerLeavesOneCoreToTheRestOfTheComputer) {
    EXPECT_EQ(LocalServerLaunchPolicy::threadCount(8), 7);
    EXPECT_EQ(LocalServerLaunchPolicy::threadCount(2), 1);
    EXPECT_EQ(LocalServerLaunchPolicy::threadCount(1), 1);
    EXPECT_EQ(LocalServerLaunchPolicy::threadCount(0), 1);
}

TEST(LocalModelClientDefaultsTests, PortsAreDrawnFromTheDynamicRange) {
    std::set<int> allButLast;
    for (int port = LocalServerLaunchPolicy::firstPort; port < 65535; ++port) {
        allButLast.insert(port);
    }
    EXPECT_EQ(LocalServerLaunchPolicy::randomPort(allButLast), 65535);
    allButLast.insert(65535);
    EXPECT_THROW(LocalServerLaunchPolicy::randomPort(allButLast), std::length_error);
    for (int i = 0; i < 200; ++i) {
        const int port = LocalServerLaunchPolicy::randomPort({});
        EXPECT_GE(port, 49152);
        EXPECT_LE(port, 65535);
    }
}

}  // namespace
}  // namespace nudgerly
