#include "app/AppComposition.h"

#include "app/AppStandIns.h"
#include "platform/VCardContactsStore.h"
#include "sources/messages/MessagesPermission.h"

namespace nudgerly {

AppComposition::AppComposition(const AppEnvironment& environment, MainQueue& mainQueue,
                               std::shared_ptr<Clipboard> clipboard, std::shared_ptr<ContactsAccessPrompt> contactsPrompt) {
    const std::filesystem::path dataDirectory = environment.dataDirectory;
    // The data folder is the data home followed by the program's folder name; the cards live beside it.
    auto contacts = std::make_shared<VCardContactsStore>(
        VCardContactsStore::contactsFolderIn(dataDirectory.parent_path()), environment.configurationDirectory,
        mainQueue, std::move(contactsPrompt));
    state_ = std::make_unique<AppState>(AppStateDependencies{
        .mainQueue = mainQueue,
        .executor = executor_,
        .clock = clock_,
        .settings = environment.settings,
        .info = environment.info,
        .dataDirectory = dataDirectory,
        .catalog = ModelCatalog::nudgerly(),
        .contacts = contacts,
        .messagesPermission = [] { return currentMessagesPermission(); },
        .messages = AppStandIns::messagesReader(contacts),
        .gmail = AppStandIns::gmailService(),
        .makeClassifier = [dataDirectory, &mainQueue](const ModelPack& pack) {
            return std::make_shared<ConversationClassifier>(pack, dataDirectory, mainQueue);
        },
        .makeDownloadManager = [dataDirectory, &mainQueue](const ModelPack& pack) {
            return std::make_unique<ModelDownloadManager>(pack, dataDirectory, DownloadConfiguration{}, nullptr, mainQueue);
        },
        .clipboard = std::move(clipboard),
        .opener = AppStandIns::systemOpener(),
    });
}

AppComposition::~AppComposition() {
    state_.reset();
    executor_.stop();
}

}  // namespace nudgerly
