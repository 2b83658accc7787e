// Local AI end to end: the program's state object with its real parts (the Messages reader, the
// classifier and its model client, which finds the model runtime beside the program as an installed one
// does) against the real llama-server and a tiny model installed as a downloaded pack. The program is
// built into a prefix of its own, <prefix>/bin, beside <prefix>/lib/nudgerly/ModelRuntime/llama-server.

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/AppComposition.h"
#include "chatdb/MessagesDatabaseBuilder.h"
#include "core/Files.h"
#include "core/Sha256.h"
#include "files/TempDir.h"
#include "modelpacks/ModelCatalog.h"
#include "modelpacks/ModelVerification.h"
#include "platform/contacts/ContactsAccessDecision.h"
#include "platform/system/FileManager.h"
#include "queues/ManualMainQueue.h"
#include "runtime/ServerProcesses.h"
#include "support/FakeSources.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

[[maybe_unused]] const fs::path& isolatedHome = test::isolateUserFolders();

// Questions that no rule settles by itself, so that only the model can decide them.
const std::vector<std::string> questions = {
    "Could you bring the blue folder to dinner on Thursday?",
    "Would you mind looking over my draft before I send it to the committee?",
    "Can you pick up Mia from practice tomorrow afternoon?",
};

void writeConversations(const fs::path& database) {
    fs::create_directories(database.parent_path());
    test::MessagesDatabaseBuilder builder(database);
    int minutes = 30;
    for (std::size_t i = 0; i < questions.size(); ++i) {
        const std::string handle = "+1555010" + std::to_string(i);
        builder.received(builder.oneToOneChat(handle), handle, questions[i], std::chrono::minutes(minutes));
        minutes += 30;
    }
    builder.close();
}

// The tiny model as a verified download of a pack that describes it.
ModelPack installTinyModel(const fs::path& dataDirectory) {
    ModelPack pack = ModelPack::nudgerlyDefault();  // the stored choice holds only built-in identifiers
    pack.displayName = "Tiny test model";
    pack.filename = "tiny-chat-model.gguf";
    const std::string contents = readFile(NUDGERLY_TINY_MODEL);
    pack.byteCount = static_cast<int64_t>(contents.size());
    pack.sha256 = Sha256::hexDigest(contents);
    const fs::path folder = dataDirectory / "ModelPacks" / pack.identifier;
    fs::create_directories(folder);
    writeFileAtomically(folder / pack.filename, contents);
    const SystemFileManager files;
    ModelVerification::recordVerifiedFile(folder / pack.filename, folder / ModelVerification::receiptFileName, pack,
                                          files);
    return pack;
}

// What one refresh of the three conversations left behind: the model's decisions by conversation and
// the files the server had mapped (its backends and the Vulkan driver it opened among them).
struct RefreshOutcome {
    std::map<std::string, CachedConversationClassification> decisions;
    std::string serverFiles;
};

// One refresh with a fresh home, checked as far as every run must pass: all three conversations
// decided by the model, and no server left running once the program quits.
RefreshOutcome refreshWithTheModel() {
    test::TempDir root;
    const fs::path database = root.path() / "Messages" / "chat.db";
    writeConversations(database);
    setenv("NUDGERLY_MESSAGES_DATABASE", database.c_str(), 1);
    const AppEnvironment environment = AppEnvironment::underRoot(root.path());
    createPrivateDirectories(environment.configurationDirectory);
    writeFileAtomically(environment.configurationDirectory / ContactsAccessDecision::fileName,
                        ContactsAccessDecision{.status = ContactsAuthorizationStatus::authorized}.encoded());
    const ModelPack pack = installTinyModel(environment.dataDirectory);

    RefreshOutcome outcome;
    ManualMainQueue queue;
    {
        AppComposition composition(environment, queue, std::make_shared<test::FakeClipboard>(), nullptr,
                                   ModelCatalog{.defaultPackIdentifier = pack.identifier, .packs = {pack}});
        AppState& app = composition.state();
        const PublishedState& state = app.state();
        app.start();
        // Local AI shows as installed: the downloaded pack and the runtime beside the program are found.
        EXPECT_TRUE(queue.runUntil([&] { return state.modelAvailability == ModelAvailability::bundled(); }, 30s));
        EXPECT_EQ(state.modelDownloadState.kind, ModelDownloadState::Kind::installed);
        EXPECT_FALSE(state.needsModelChoice);

        app.refresh(ReviewSource::messages, LookbackWindow::seven);
        EXPECT_TRUE(queue.runUntil(
            [&] { return state.refreshingSources.empty() && state.snapshot(ReviewSource::messages); }, 300s));
        EXPECT_FALSE(state.modelRuntimeIssue) << state.modelRuntimeIssue.value_or("");
        EXPECT_FALSE(state.errorMessage);

        if (const ReviewSnapshot* snapshot = state.snapshot(ReviewSource::messages)) {
            // Only the model's answers and the rules' are kept for reuse, Basic Mode's never; and no rule
            // settles these questions. So one entry for each conversation means the model decided each.
            EXPECT_EQ(snapshot->activeConversations, static_cast<int64_t>(questions.size()));
            const auto& cache = snapshot->classificationCache.value_or(std::vector<CachedConversationClassification>{});
            const auto basicMode = static_cast<int64_t>(questions.size()) - static_cast<int64_t>(cache.size());
            EXPECT_EQ(basicMode, 0) << "conversations decided by Basic Mode: " << basicMode;
            // Each answer was read: every question asks for a reply, and the model's answers said so.
            EXPECT_EQ(snapshot->items.size(), questions.size());
            for (const auto& entry : cache) {
                EXPECT_EQ(entry.engineSignature.rfind("local-model:" + pack.identifier + ":", 0), 0u)
                    << entry.engineSignature;
                outcome.decisions.emplace(entry.conversationID, entry);
            }
        }
        const std::vector<pid_t> servers = test::childServers();
        EXPECT_EQ(servers.size(), 1u);  // the real one, still running between refreshes
        if (!servers.empty()) {
            outcome.serverFiles = test::mappedFiles(servers.front());
        }

        bool quit = false;
        app.shutdownForTermination([&] { quit = true; });
        EXPECT_TRUE(queue.runUntil([&] { return quit; }, 30s));
        EXPECT_TRUE(test::childServers().empty());
    }
    EXPECT_TRUE(test::childServers().empty());
    unsetenv("NUDGERLY_MESSAGES_DATABASE");
    return outcome;
}

// Shows the Vulkan loader only the given driver manifest, or none where it does not exist.
class VulkanDrivers {
public:
    explicit VulkanDrivers(const fs::path& manifest) {
        for (const char* name : {"VK_DRIVER_FILES", "VK_ICD_FILENAMES"}) {
            setenv(name, manifest.c_str(), 1);
        }
    }
    ~VulkanDrivers() {
        for (const char* name : {"VK_DRIVER_FILES", "VK_ICD_FILENAMES"}) {
            unsetenv(name);
        }
    }
    VulkanDrivers(const VulkanDrivers&) = delete;
    VulkanDrivers& operator=(const VulkanDrivers&) = delete;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The devices the runtime beside this program finds, in its own words.
std::string runtimeDevices() {
    return test::runtimeDevices(fs::read_symlink("/proc/self/exe").parent_path().parent_path() /
                                "lib/nudgerly/ModelRuntime/llama-server");
}

TEST(RealServerTests, EveryConversationOfARefreshIsDecidedByTheModelAndNoServerOutlivesQuitting) {
    refreshWithTheModel();
}

// Mesa's software Vulkan driver stands in for a GPU: the server must put the model on it, and without
// any driver fall back to the CPU, both without a word to the user and with the same decisions.
TEST(RealServerTests, TheModelRunsOnAVulkanDeviceWhereThereIsOneAndOnTheCpuWithTheSameAnswersWhereNot) {
    const fs::path lavapipe = "/usr/share/vulkan/icd.d/lvp_icd.x86_64.json";
    ASSERT_TRUE(fs::exists(lavapipe)) << "Mesa's Vulkan drivers (mesa-vulkan-drivers) are not installed";

    RefreshOutcome onVulkan;
    {
        const VulkanDrivers drivers(lavapipe);
        // ggml passes over Vulkan devices that are CPUs unless they are named, and lavapipe is one.
        setenv("GGML_VK_VISIBLE_DEVICES", "0", 1);
        const std::string devices = runtimeDevices();
        EXPECT_TRUE(contains(devices, "Vulkan0: llvmpipe")) << devices;
        onVulkan = refreshWithTheModel();
        unsetenv("GGML_VK_VISIBLE_DEVICES");
    }
    EXPECT_TRUE(contains(onVulkan.serverFiles, "libggml-vulkan.so")) << onVulkan.serverFiles;
    EXPECT_TRUE(contains(onVulkan.serverFiles, "libvulkan_lvp.so")) << onVulkan.serverFiles;

    test::TempDir nowhere;
    RefreshOutcome onCpu;
    {
        const VulkanDrivers drivers(nowhere.path() / "no-driver.json");
        const std::string devices = runtimeDevices();
        EXPECT_FALSE(contains(devices, "Vulkan")) << devices;
        onCpu = refreshWithTheModel();
    }
    EXPECT_FALSE(contains(onCpu.serverFiles, "libvulkan_lvp.so")) << onCpu.serverFiles;
    EXPECT_TRUE(contains(onCpu.serverFiles, "libggml-cpu-")) << onCpu.serverFiles;

    ASSERT_EQ(onVulkan.decisions.size(), questions.size());
    ASSERT_EQ(onCpu.decisions.size(), questions.size());
    for (const auto& [conversation, decision] : onVulkan.decisions) {
        const auto cpu = onCpu.decisions.find(conversation);
        ASSERT_NE(cpu, onCpu.decisions.end()) << conversation;
        EXPECT_EQ(cpu->second.needsAction, decision.needsAction) << conversation;
        EXPECT_EQ(cpu->second.classification, decision.classification) << conversation;
    }
}

}  // namespace
}  // namespace nudgerly
