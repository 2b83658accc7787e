#include "support/StandInServer.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "localmodel/LocalServerLaunchPolicy.h"

namespace nudgerly::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

StandInScenario::StandInScenario(json launches, json answers)
    : scenario_{{"records", (dir_ / "records").string()},
                {"launches", std::move(launches)},
                {"answers", std::move(answers)}} {
    fs::create_directories(dir_ / "records");
    writeTestFile(modelFile(), text());
}

std::string StandInScenario::program() {
    return NUDGERLY_STANDIN_SERVER;
}

std::string StandInScenario::text() const {
    return scenario_.dump();
}

std::vector<json> StandInScenario::records(const std::string& kind) const {
    std::vector<json> found;
    for (int number = 0;; ++number) {
        const fs::path file = dir_ / "records" / (kind + "-" + std::to_string(number) + ".json");
        if (!fs::exists(file)) {
            return found;
        }
        found.push_back(json::parse(readText(file)));
    }
}

std::string StandInScenario::signals(int launch) const {
    return readText(dir_ / "records" / ("signals-" + std::to_string(launch) + ".log"));
}

FakeEnvironment StandInScenario::environment() const {
    return std::make_shared<std::map<std::string, std::string>>(std::map<std::string, std::string>{
        {"NUDGERLY_LLAMA_SERVER", program()},
        {"NUDGERLY_MODEL_PATH", modelFile().string()},
    });
}

LocalModelClientSettings testSettings(FakeEnvironment environment, const fs::path& dataFolder) {
    LocalModelClientSettings settings;
    settings.environment = [environment](const std::string& name) -> std::optional<std::string> {
        const auto found = environment->find(name);
        if (found == environment->end()) {
            return std::nullopt;
        }
        return found->second;
    };
    // Above the system's range for outgoing connections (32768...60999 here), so that a connection
    // of a test running alongside cannot take the port between the check and the server's bind and
    // add a launch the test does not expect.
    settings.drawPort = [](const std::set<int>& excluded) {
        int port = 0;
        do {
            port = LocalServerLaunchPolicy::randomPort(excluded);
        } while (port <= 60999);
        return port;
    };
    settings.dataFolder = dataFolder;
    settings.runtimeFolder.reset();
    settings.resourceFolder.reset();
    settings.initialHealthDelay = std::chrono::milliseconds(10);
    settings.healthCheckInterval = std::chrono::milliseconds(10);
    settings.healthCheckLimit = 500;
    // A stand-in always answers /health at once, so a long bound costs a passing test nothing; a short
    // one fails a check made while real servers of tests alongside hold every core, and a 500 whose
    // health check fails is taken for a dead server and restarts it.
    settings.healthCheckTimeout = std::chrono::milliseconds(5000);
    settings.shutdownPollInterval = std::chrono::milliseconds(5);
    return settings;
}

std::string promptOf(const json& chatRecord) {
    return json::parse(chatRecord.at("body").get<std::string>()).at("messages").at(1).at("content");
}

std::string argumentOf(const json& launchRecord, const std::string& name) {
    const auto& arguments = launchRecord.at("arguments");
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == name) {
            return arguments[i + 1];
        }
    }
    return {};
}

std::vector<pid_t> remainingStandIns() {
    const std::string programName = fs::path(StandInScenario::program()).filename().string();
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        // "pid (name) state ppid ...": a zombie keeps its name and parent until it is reaped.
        const std::string stat = readText(entry.path() / "stat");
        const auto open = stat.find('(');
        const auto close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) {
            continue;
        }
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        rest >> state >> parent;
        if (stat.substr(open + 1, close - open - 1) == programName && parent == ::getpid()) {
            found.push_back(std::stoi(name));
        }
    }
    return found;
}

void killRemainingStandIns() {
    for (const pid_t pid : remainingStandIns()) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

}  // namespace nudgerly::test
