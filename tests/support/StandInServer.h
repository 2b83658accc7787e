#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <sys/types.h>

#include "files/TempDir.h"
#include "localmodel/LocalModelClientSettings.h"

// Driving the stand-in model server (tests/standin): a scenario in a folder of its own, the records
// the stand-in writes there, and settings that point a model client at it.
namespace nudgerly::test {

// The environment a client under test sees; tests change it between calls.
using FakeEnvironment = std::shared_ptr<std::map<std::string, std::string>>;

class StandInScenario {
public:
    // `launches` and `answers` as the stand-in reads them; see the stand-in's own description.
    explicit StandInScenario(nlohmann::json launches = nlohmann::json::array(),
                             nlohmann::json answers = nlohmann::json::array());

    // The stand-in program.
    static std::string program();

    // The scenario's text, and the file holding it: what the server is given as its model file.
    std::string text() const;
    std::filesystem::path modelFile() const { return dir_ / "scenario.json"; }
    const std::filesystem::path& folder() const { return dir_.path(); }

    // What the stand-in wrote down, oldest first.
    std::vector<nlohmann::json> launches() const { return records("launch"); }
    std::vector<nlohmann::json> chats() const { return records("chat"); }
    std::vector<nlohmann::json> healthChecks() const { return records("health"); }
    // The signals launch `launch` noted ("TERM\nINT\n"...), when it was told to ignore them.
    std::string signals(int launch) const;

    // A client environment naming the stand-in and this scenario.
    FakeEnvironment environment() const;

private:
    std::vector<nlohmann::json> records(const std::string& kind) const;

    TempDir dir_;
    nlohmann::json scenario_;
};

// Settings for a client under test: the given environment, a private data folder, no installed
// program folders, and waits short enough for tests.
LocalModelClientSettings testSettings(FakeEnvironment environment, const std::filesystem::path& dataFolder);

// The user message of a recorded chat request: the prompt that was sent.
std::string promptOf(const nlohmann::json& chatRecord);
// The value following `name` in a recorded launch's arguments.
std::string argumentOf(const nlohmann::json& launchRecord, const std::string& name);

// Stand-in processes started by this test program that are still running or were never reaped.
std::vector<pid_t> remainingStandIns();
// Ends them, so that a failed test leaves nothing behind.
void killRemainingStandIns();

}  // namespace nudgerly::test
