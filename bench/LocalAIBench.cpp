// Local AI on this computer: the program's own classification of one demo conversation, against the
// real llama-server and a model file given on the command line. Each setting is timed idle and beside
// busy processes on half the cores, with the server's own default thread count and with the count the
// program chooses (and any extra counts asked for), in one run. Per setting: the load of the model,
// then seconds per conversation and the prompt and answer tokens per second the server reports.
//
// Usage: LocalAIBench <model.gguf> [--server <llama-server>] [--runs <n>] [--threads <n>[,<n>...]]
//                     [--limit <seconds>] [--backend auto|cpu|vulkan]
//
// The server defaults to the one of this build, <build>/lib/nudgerly/ModelRuntime/llama-server. A
// request gets `--limit` seconds (300 unless given) where the program gives it 60, so that a setting
// that collapses still ends the run; it is then reported as failed.
//
// `--backend` picks where the model runs: `auto` (the default) leaves it to the server, as the program
// does; `cpu` offloads nothing; `vulkan` asks for the first Vulkan device and fails where there is none.
// Mesa's software driver (lavapipe) counts only with GGML_VK_VISIBLE_DEVICES=0 in the environment, as
// ggml passes over Vulkan devices that are CPUs. Each row names the device that served, as the runtime
// lists it, and the backends and Vulkan driver the server has loaded.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "classifier/Guardrails.h"
#include "demo/DemoHome.h"
#include "files/TempDir.h"
#include "localmodel/LocalModelClient.h"
#include "localmodel/LocalServerLaunchPolicy.h"
#include "platform/contacts/VCardContactsStore.h"
#include "platform/system/InstallLocations.h"
#include "platform/system/PhysicalCores.h"
#include "queues/ManualMainQueue.h"
#include "runtime/ServerProcesses.h"
#include "sources/messages/MessagesReader.h"

namespace {

namespace fs = std::filesystem;
using namespace nudgerly;
using Clock = std::chrono::steady_clock;

// What the server says about one answer.
struct Timings {
    double promptTokens = 0;
    double promptMilliseconds = 0;
    double answerTokens = 0;
    double answerMilliseconds = 0;
};

// The program's own HTTP client, noting the timings of every chat answer that passes.
class TimingHttpClient : public HttpClient {
public:
    HttpResponse send(const HttpRequest& request, std::stop_token stop) override {
        HttpResponse response = inner_.send(request, stop);
        if (request.url.ends_with("/v1/chat/completions") && response.status == 200) {
            const auto body = nlohmann::json::parse(response.body, nullptr, false);
            if (body.is_object() && body.contains("timings")) {
                const auto& timings = body["timings"];
                std::lock_guard lock(mutex_);
                total_.promptTokens += timings.value("prompt_n", 0.0);
                total_.promptMilliseconds += timings.value("prompt_ms", 0.0);
                total_.answerTokens += timings.value("predicted_n", 0.0);
                total_.answerMilliseconds += timings.value("predicted_ms", 0.0);
                ++requests_;
            }
        }
        return response;
    }
    // What was noted since the last call, and how many answers it covers.
    std::pair<Timings, int> take() {
        std::lock_guard lock(mutex_);
        return {std::exchange(total_, {}), std::exchange(requests_, 0)};
    }

private:
    CurlHttpClient inner_;
    std::mutex mutex_;
    Timings total_;
    int requests_ = 0;
};

// Busy loops on `count` processes, which die with this program.
class BusyProcesses {
public:
    explicit BusyProcesses(int count) {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                volatile uint64_t spin = 0;
                for (;;) {
                    spin = spin + 1;
                }
            }
            if (pid > 0) {
                pids_.push_back(pid);
            }
        }
    }
    ~BusyProcesses() {
        for (const pid_t pid : pids_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    BusyProcesses(const BusyProcesses&) = delete;
    BusyProcesses& operator=(const BusyProcesses&) = delete;

private:
    std::vector<pid_t> pids_;
};

// The first conversation of the demo home that the program would put to the model.
Conversation demoConversation(const fs::path& folder) {
    const test::DemoHome demo = test::layOutDemoHome(folder / "home", "Alex");
    ManualMainQueue mainQueue;
    auto contacts = std::make_shared<VCardContactsStore>(demo.contactsFolder, folder / "config", mainQueue);
    const MessagesReader reader(contacts, "Alex", demo.database);
    // The reader finds link pictures from "~".
    const std::optional<std::string> home = std::getenv("HOME") ? std::optional(std::getenv("HOME")) : std::nullopt;
    setenv("HOME", demo.home.c_str(), 1);
    const ConversationBatch batch = reader.scan(LookbackWindow::thirty, {});
    if (home) {
        setenv("HOME", home->c_str(), 1);
    }
    for (const Conversation& conversation : batch.conversations) {
        if (!conversation.messages.empty() && !Guardrails::firstCertain(conversation)) {
            return conversation;
        }
    }
    throw std::runtime_error("the demo home has no conversation for the model");
}

struct Setting {
    std::string label;
    std::vector<std::pair<std::string, std::string>> environment;
};

struct Options {
    fs::path model;
    fs::path server;
    int runs = 1;
    std::vector<int> extraThreads;
    int limitSeconds = 300;
    std::string backend = "auto";
};

// The server's setting for a backend of the command line; none for `auto`.
std::optional<std::pair<std::string, std::string>> deviceSetting(const std::string& backend) {
    if (backend == "cpu") {
        return std::pair<std::string, std::string>{"LLAMA_ARG_DEVICE", "none"};
    }
    if (backend == "vulkan") {
        return std::pair<std::string, std::string>{"LLAMA_ARG_DEVICE", "Vulkan0"};
    }
    return std::nullopt;
}

// The devices of the runtime's own list that a backend of the command line offloads to.
std::string offloadDevices(const Options& options) {
    if (options.backend == "cpu") {
        return {};
    }
    std::stringstream listed(test::runtimeDevices(options.server));
    std::string devices;
    for (std::string line; std::getline(listed, line);) {
        const auto name = line.find_first_not_of(' ');
        if (name == std::string::npos || line.compare(name, 6, "Vulkan") != 0) {
            continue;
        }
        if (options.backend == "vulkan" && line.compare(name, 8, "Vulkan0:") != 0) {
            continue;
        }
        devices += (devices.empty() ? "" : "; ") + line.substr(name);
    }
    return devices;
}

// The backends and Vulkan drivers the running server has loaded, by file name.
std::string loadedLibraries() {
    const std::vector<pid_t> servers = test::childServers();
    if (servers.empty()) {
        return "no server";
    }
    std::stringstream files(test::mappedFiles(servers.front()));
    std::vector<std::string> names;
    for (std::string line; std::getline(files, line);) {
        const std::string name = fs::path(line).filename().string();
        const bool wanted = name.starts_with("libggml-") || name.starts_with("libvulkan_");
        if (wanted && std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    if (const auto library = InstallLocations::privateLibraryFolder()) {
        options.server = *library / "ModelRuntime" / "llama-server";
    }
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--server" && hasValue) {
            options.server = argv[++i];
        } else if (argument == "--runs" && hasValue) {
            options.runs = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--backend" && hasValue) {
            options.backend = argv[++i];
            if (options.backend != "auto" && options.backend != "cpu" && options.backend != "vulkan") {
                return std::nullopt;
            }
        } else if (argument == "--limit" && hasValue) {
            options.limitSeconds = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--threads" && hasValue) {
            std::stringstream list(argv[++i]);
            for (std::string item; std::getline(list, item, ',');) {
                options.extraThreads.push_back(std::max(1, std::atoi(item.c_str())));
            }
        } else if (options.model.empty() && !argument.starts_with("--")) {
            options.model = argument;
        } else {
            return std::nullopt;
        }
    }
    if (options.model.empty()) {
        return std::nullopt;
    }
    return options;
}

// One setting under one load: a fresh server, then `runs` classifications of the conversation.
void measure(const Options& options, const Setting& setting, const std::string& load, const Conversation& conversation,
             const fs::path& dataFolder) {
    auto http = std::make_shared<TimingHttpClient>();
    auto environment = setting.environment;
    if (const auto device = deviceSetting(options.backend)) {
        environment.push_back(*device);
    }
    LocalModelClientSettings settings{
        .environment = [&options](const std::string& name) -> std::optional<std::string> {
            if (name == "NUDGERLY_LLAMA_SERVER") {
                return options.server.string();
            }
            if (name == "NUDGERLY_MODEL_PATH") {
                return options.model.string();
            }
            return std::nullopt;
        },
        .dataFolder = dataFolder,
        .runtimeFolder = std::nullopt,
        .resourceFolder = std::nullopt,
        .serverEnvironment = environment,
        .http = http,
    };
    // A large model on a loaded computer loads and answers slowly: measured here, not cut short at once.
    settings.healthCheckLimit = 36'000;
    settings.requestTimeout = std::chrono::seconds(options.limitSeconds);
    LocalModelClient client(ModelPack::nudgerlyDefault(), settings);

    const auto loading = Clock::now();
    try {
        client.ensureStarted({});
    } catch (const std::exception& error) {
        std::printf("%-6s  %-22s  the server did not start: %s\n", load.c_str(), setting.label.c_str(), error.what());
        std::fflush(stdout);
        return;
    }
    const double loadSeconds = std::chrono::duration<double>(Clock::now() - loading).count();
    const std::string libraries = loadedLibraries();
    std::vector<double> seconds;
    Timings total;
    int requests = 0;
    std::string failure;
    for (int run = 0; run < options.runs; ++run) {
        const auto started = Clock::now();
        try {
            client.classify(conversation, {});
        } catch (const std::exception& error) {
            failure = error.what();
        }
        seconds.push_back(std::chrono::duration<double>(Clock::now() - started).count());
        const auto [timings, answered] = http->take();
        total.promptTokens += timings.promptTokens;
        total.promptMilliseconds += timings.promptMilliseconds;
        total.answerTokens += timings.answerTokens;
        total.answerMilliseconds += timings.answerMilliseconds;
        requests += answered;
    }
    client.shutdown();
    std::sort(seconds.begin(), seconds.end());
    const auto perSecond = [](double tokens, double milliseconds) {
        return milliseconds > 0 ? tokens / (milliseconds / 1000.0) : 0.0;
    };
    // Other work of the computer counts too: its load average is shown beside each row.
    double average = 0;
    ::getloadavg(&average, 1);
    std::printf("%-6s  %5.1f  %-22s  %7.1f  %10.2f  %8d  %11.0f  %10.1f  %11.0f  %10.1f%s%s\n", load.c_str(), average,
                setting.label.c_str(), loadSeconds, seconds[seconds.size() / 2], requests,
                total.promptTokens / options.runs, perSecond(total.promptTokens, total.promptMilliseconds),
                total.answerTokens / options.runs, perSecond(total.answerTokens, total.answerMilliseconds),
                failure.empty() ? "" : "  failed: ", failure.c_str());
    const std::string devices = offloadDevices(options);
    std::printf("        served by %s (loaded: %s)\n", devices.empty() ? "the CPU" : devices.c_str(),
                libraries.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = parse(argc, argv);
    if (!options) {
        std::cerr << "Usage: LocalAIBench <model.gguf> [--server <llama-server>] [--runs <n>] "
                     "[--threads <n>[,<n>...]] [--limit <seconds>] [--backend auto|cpu|vulkan]\n";
        return 2;
    }
    // The server's defaults are its own only when nothing of this shell's sets them.
    unsetenv("LLAMA_ARG_THREADS");
    unsetenv("OMP_WAIT_POLICY");
    unsetenv("GOMP_SPINCOUNT");

    const test::TempDir folder;
    const Conversation conversation = demoConversation(folder.path());
    const int cores = PhysicalCores::ofThisComputer();
    const int hardwareThreads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const int busy = std::max(1, hardwareThreads / 2);
    const int chosen = LocalServerLaunchPolicy::threadCount(cores);

    std::vector<Setting> settings{
        {"server default", {}},
        {"chosen: " + std::to_string(chosen) + " threads", LocalServerLaunchPolicy::environment(chosen)}};
    for (const int threads : options->extraThreads) {
        settings.push_back(
            {std::to_string(threads) + " threads, passive", LocalServerLaunchPolicy::environment(threads)});
    }

    std::printf("model %s (%.2f GB), server %s, backend %s\n", options->model.c_str(),
                static_cast<double>(fs::file_size(options->model)) / 1e9, options->server.c_str(),
                options->backend.c_str());
    std::printf(
        "%d physical cores, %d hardware threads; loaded = %d busy processes; conversation \"%s\" "
        "(%zu messages); median of %d run(s), %d s per request at most\n\n",
        cores, hardwareThreads, busy, conversation.person.c_str(), conversation.messages.size(), options->runs,
        options->limitSeconds);
    std::printf("%-6s  %5s  %-22s  %7s  %10s  %8s  %11s  %10s  %11s  %10s\n", "load", "avg", "threads", "load s",
                "s/convers.", "requests", "prompt tok", "prompt t/s", "answer tok", "answer t/s");
    std::fflush(stdout);
    for (const bool loaded : {false, true}) {
        std::optional<BusyProcesses> load;
        if (loaded) {
            load.emplace(busy);
        }
        for (const Setting& setting : settings) {
            measure(*options, setting, loaded ? "loaded" : "idle", conversation, folder.path() / "data");
        }
    }
    return 0;
}
