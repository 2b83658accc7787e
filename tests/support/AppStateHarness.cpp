#include "support/AppStateHarness.h"

#include "core/Sha256.h"
#include "modelpacks/ModelVerification.h"
#include "storage/SnapshotStore.h"

namespace nudgerly::test {
namespace {

std::string packContents(const std::string& identifier) {
    return "GGUF model bytes of " + identifier;
}

}  // namespace

ModelPack smallPack(std::string identifier, const std::string& contents) {
    ModelPack pack = ModelPack::nudgerlyDefault();
    pack.identifier = std::move(identifier);
    pack.displayName = "Test " + pack.identifier;
    pack.repository = "example/" + pack.identifier;
    pack.filename = pack.identifier + ".gguf";
    pack.sourceURL = "https://models.example/" + pack.filename;
    pack.byteCount = static_cast<int64_t>(contents.size());
    pack.sha256 = Sha256::hexDigest(contents);
    return pack;
}

AppStateHarness::AppStateHarness()
    : dataDirectory(root.path() / "data"),
      contacts(std::make_shared<FakeContactsStore>(queue)),
      messagesDatabase(root.path() / "home/Library/Messages/chat.db"),
      localModel(std::make_shared<ScriptedLocalModel>(
          [](auto, const Conversation&, std::stop_token) { return nothingOwed(); }, ModelAvailability::missing())),
      catalog{
          .defaultPackIdentifier = ModelPack::nudgerlyDefault().identifier,
          .packs = {
              smallPack(ModelPack::nudgerlyDefault().identifier, packContents(ModelPack::nudgerlyDefault().identifier)),
              smallPack(ModelPack::nudgerlyLarge().identifier, packContents(ModelPack::nudgerlyLarge().identifier))}} {}

AppStateHarness::~AppStateHarness() {
    destroy();
}

AppState& AppStateHarness::build() {
    construct();
    // Built once the saved queues, read by its first jobs, are in; what they changed is still to be heard.
    const auto loading = [this] { return app_->state().isLoadingSavedQueues; };
    if (workers) {
        queue.runUntil([&] { return !loading(); });
    }
    while (loading() && (executor.runNext() || queue.runOne())) {
    }
    return *app_;
}

AppState& AppStateHarness::construct() {
    destroy();
    const auto model = localModel;
    AppStateDependencies dependencies{
        .mainQueue = queue,
        .executor = workers ? *workers : static_cast<BackgroundExecutor&>(executor),
        .clock = queue,
        .settings = otherSettings ? otherSettings : settings,
        .info = AppInfo(AppInfo::compiledDefaults()),
        .dataDirectory = dataDirectory,
        .catalog = catalog,
        .contacts = otherContactsStore ? otherContactsStore : contacts,
        .messagesPermission = [this] { return messagesPermission; },
        .messages = messages,
        .gmail = gmail,
        .makeClassifier = [this, model](const ModelPack&) {
            return std::make_shared<ConversationClassifier>(model, queue);
        },
        .makeDownloadManager = makeDownloadManager ? makeDownloadManager : [this](const ModelPack& pack) {
            return std::make_unique<ModelDownloadManager>(ModelDownloadManager::Dependencies{
                .mainQueue = queue,
                .pack = pack,
                .rootDirectory = dataDirectory,
                .fileManager = downloadFiles,
                .transport = downloadTransport,
            });
        },
        .clipboard = clipboard,
        .opener = opener,
        .messagesDatabase = messagesDatabase,
    };
    app_ = std::make_unique<AppState>(std::move(dependencies));
    return *app_;
}

AppState& AppStateHarness::buildAndStart() {
    build().start();
    settle();
    return *app_;
}

void AppStateHarness::destroy() {
    app_.reset();
    settle();
}

void AppStateHarness::settle() {
    while (queue.drain() + static_cast<int>(executor.runAll()) > 0) {
    }
}

void AppStateHarness::install(const ModelPack& pack) {
    const auto folder = dataDirectory / "ModelPacks" / pack.identifier;
    const auto model = folder / pack.filename;
    writeTestFile(model, packContents(pack.identifier));
    const SystemFileManager files;
    ModelVerification::recordVerifiedFile(model, folder / ".verification.plist", pack, files);
}

void AppStateHarness::saveSnapshot(ReviewSource source, const ReviewSnapshot& snapshot) {
    SnapshotStore::save(snapshot, snapshotFile(source));
}

std::filesystem::path AppStateHarness::snapshotFile(ReviewSource source) const {
    return dataDirectory / (source == ReviewSource::messages ? "messages-snapshot.json" : "gmail-snapshot.json");
}

}  // namespace nudgerly::test
