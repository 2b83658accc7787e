// A stand-in for `llama-server`, built for the tests as a program named llama-server. It takes the real
// server's command line, serves GET /health and POST /v1/chat/completions on 127.0.0.1 and the given
// port, and requires the bearer key on both. The "model file" is a JSON scenario that says how to
// behave:
//
//   {
//     "records": "<folder>",          // where every launch and request is written down
//     "launches": [ {...}, ... ],     // behaviour of the 1st, 2nd, ... launch; the last one repeats
//     "answers":  [ {...}, ... ]      // answers to the 1st, 2nd, ... chat request over all launches
//   }
//
// A launch: "exitCode" (exit at once with it), "exitAfterMs" (serve, then exit), "healthStatus"
// (default 200), "healthyAfterMs" (503 before that), "ignoreSignals" (SIGTERM and SIGINT are written
// to "signals-<launch>.log" and otherwise ignored), "ballastMiB" (memory filled at start, so that
// the process takes a while to end even when killed), "unreapableForMs" (a helper process traces the
// stand-in and keeps it unreapable by its parent for this long, even once killed: the kernel shows a
// traced zombie to its tracer alone).
// An answer: "delayMs", "exit" (end the process instead of answering), "drop" (reset the connection),
// "healthStatusAfter" (what this launch's /health answers from then on), "status" (default 200), then
// the body: "errorType" (an error envelope), "content" (a chat answer whose message content is this
// text), "padBytes" (spaces appended to that content) or "body" (as is).
//
// The stand-in ends itself when the program that started it is gone.
//
// Records, numbered from 0 over all launches: "launch-<n>.json" {"pid", "arguments", "environment" (the
// server's settings of the environment that were set)},
// "health-<n>.json" and "chat-<n>.json" {"launch", "authorization", "body"}.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "loopback/LoopbackHttpServer.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using nudgerly::test::ResponseWriter;
using nudgerly::test::TestHttpRequest;

int signalLog = -1;
// Set by an answer's "healthStatusAfter": what /health answers from then on; 0 while none did.
std::atomic<int> healthStatusAfterAnswer = 0;

void noteSignal(int signalNumber) {
    const char* line = signalNumber == SIGTERM ? "TERM\n" : "INT\n";
    [[maybe_unused]] const auto written = ::write(signalLog, line, std::char_traits<char>::length(line));
}

// Writes the record under the next free number for `kind` across all launches. The record appears
// whole or not at all: it is written aside and then linked into place, which fails if the number is
// taken.
int record(const fs::path& folder, const std::string& kind, const json& contents) {
    const fs::path draft = folder / ("." + kind + "-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id())));
    {
        std::ofstream out(draft, std::ios::binary | std::ios::trunc);
        out << contents.dump();
        if (!out.flush()) {
            std::exit(4);
        }
    }
    for (int number = 0;; ++number) {
        const fs::path file = folder / (kind + "-" + std::to_string(number) + ".json");
        if (::link(draft.c_str(), file.c_str()) == 0) {
            ::unlink(draft.c_str());
            return number;
        }
        if (errno != EEXIST) {
            std::exit(4);
        }
    }
}

// The pid of the process tracing `pid`, 0 when none does.
pid_t readTracer(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) {
            return static_cast<pid_t>(std::stol(line.substr(10)));
        }
    }
    return 0;
}

json pick(const json& list, int index) {
    if (!list.is_array() || list.empty()) {
        return json::object();
    }
    return list[std::min<std::size_t>(static_cast<std::size_t>(index), list.size() - 1)];
}

void sleepMilliseconds(int64_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void answerChat(const json& answer, ResponseWriter& writer) {
    sleepMilliseconds(answer.value("delayMs", 0));
    if (answer.value("exit", false)) {
        ::_exit(0);
    }
    if (answer.contains("healthStatusAfter")) {
        healthStatusAfterAnswer = answer["healthStatusAfter"].get<int>();
    }
    if (answer.value("drop", false)) {
        writer.drop();
        return;
    }
    const int status = answer.value("status", 200);
    std::string body;
    if (answer.contains("errorType")) {
        body = json{{"error", {{"code", status}, {"message", "stand-in error"}, {"type", answer["errorType"]}}}}.dump();
    } else if (answer.contains("content")) {
        std::string content = answer["content"].get<std::string>();
        content.append(answer.value("padBytes", std::size_t{0}), ' ');
        body = json{{"id", "chatcmpl-standin"},
                    {"object", "chat.completion"},
                    {"choices",
                     {{{"index", 0},
                       {"finish_reason", "stop"},
                       {"message", {{"role", "assistant"}, {"content", content}}}}}}}
                   .dump();
    } else {
        body = answer.value("body", "");
    }
    writer.respond(status, body, {{"Content-Type", "application/json"}});
}

}  // namespace

// Never outlives the test program, even one that crashed before it could stop its servers.
void exitWithParent() {
    const pid_t parent = ::getppid();
    std::thread([parent] {
        while (::getppid() == parent) {
            sleepMilliseconds(50);
        }
        ::_exit(5);
    }).detach();
}

// Forks the tracer that holds this process for `milliseconds`; it also lets go when the test program
// is gone.
void holdUnreapable(int64_t milliseconds) {
    const pid_t self = ::getpid();
    const pid_t testProgram = ::getppid();
    const pid_t tracer = ::fork();
    if (tracer < 0) {
        std::exit(4);
    }
    if (tracer > 0) {
        // Seized before the server answers its health check, so a started server is always held.
        for (int attempt = 0; attempt < 400 && readTracer(self) != tracer; ++attempt) {
            sleepMilliseconds(5);
        }
        if (readTracer(self) != tracer) {
            std::exit(4);
        }
        return;
    }
    if (::ptrace(PTRACE_SEIZE, self, nullptr, nullptr) != 0) {
        ::_exit(4);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until && ::kill(testProgram, 0) == 0) {
        sleepMilliseconds(20);
    }
    ::_exit(0);
}

int main(int argc, char** argv) {
    exitWithParent();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto option = [&](const std::string& name) -> std::string {
        for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
            if (arguments[i] == name) {
                return arguments[i + 1];
            }
        }
        return {};
    };

    json scenario;
    try {
        std::ifstream file(option("-m"));
        std::stringstream text;
        text << file.rdbuf();
        scenario = json::parse(text.str());
    } catch (const std::exception&) {
        return 2;  // like a model file that does not load
    }
    const fs::path records = scenario.at("records").get<std::string>();
    json environment = json::object();
    for (const char* name : {"LLAMA_ARG_THREADS", "OMP_WAIT_POLICY"}) {
        if (const char* value = std::getenv(name)) {
            environment[name] = value;
        }
    }
    const int launch =
        record(records, "launch", {{"pid", ::getpid()}, {"arguments", arguments}, {"environment", environment}});
    const json behaviour = pick(scenario["launches"], launch);

    if (behaviour.contains("exitCode")) {
        return behaviour["exitCode"].get<int>();
    }
    if (behaviour.contains("unreapableForMs")) {
        holdUnreapable(behaviour["unreapableForMs"].get<int64_t>());
    }
    if (const std::size_t ballast = behaviour.value("ballastMiB", 0) * std::size_t{1024 * 1024}; ballast > 0) {
        // Small pages, so that the end has many to give back.
        void* memory = ::mmap(nullptr, ballast, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            return 4;
        }
        ::madvise(memory, ballast, MADV_NOHUGEPAGE);
        std::memset(memory, 1, ballast);
    }
    if (behaviour.value("ignoreSignals", false)) {
        const auto log = records / ("signals-" + std::to_string(launch) + ".log");
        signalLog = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        struct sigaction action {};
        action.sa_handler = noteSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }

    const std::string expectedAuthorization = "Bearer " + option("--api-key");
    const auto started = std::chrono::steady_clock::now();
    const auto handler = [&](const TestHttpRequest& request, ResponseWriter& writer) {
        const std::string authorization = request.header("authorization").value_or("");
        const json note = {{"launch", launch}, {"authorization", authorization}, {"body", request.body}};
        const bool health = request.path() == "/health" && request.method == "GET";
        const bool chat = request.path() == "/v1/chat/completions" && request.method == "POST";
        if (!health && !chat) {
            writer.respond(404, R"({"error":{"code":404,"message":"File Not Found","type":"not_found_error"}})");
            return;
        }
        const int number = record(records, health ? "health" : "chat", note);
        if (authorization != expectedAuthorization) {
            writer.respond(401, R"({"error":{"code":401,"message":"Invalid API Key","type":"authentication_error"}})");
            return;
        }
        if (chat) {
            answerChat(pick(scenario["answers"], number), writer);
            return;
        }
        const auto elapsed = std::chrono::steady_clock::now() - started;
        int status = behaviour.value("healthStatus", 200);
        if (elapsed < std::chrono::milliseconds(behaviour.value("healthyAfterMs", 0))) {
            status = 503;
        }
        if (healthStatusAfterAnswer != 0) {
            status = healthStatusAfterAnswer;
        }
        writer.respond(status, status == 200
                                   ? R"({"status":"ok"})"
                                   : R"({"error":{"code":503,"message":"Loading model","type":"unavailable_error"}})");
    };

    try {
        const auto port = static_cast<uint16_t>(std::stoi(option("--port")));
        nudgerly::test::LoopbackHttpServer server(handler, false, port);
        if (behaviour.contains("exitAfterMs")) {
            sleepMilliseconds(behaviour["exitAfterMs"].get<int64_t>());
            ::_exit(0);
        }
        for (;;) {
            ::pause();
        }
    } catch (const std::exception& error) {
        std::cerr << "llama-server stand-in: " << error.what() << "\n";
        return 3;  // the port is taken
    }
}
