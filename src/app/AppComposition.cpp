#include "app/AppComposition.h"

#include "app/GmailServiceSource.h"
#include "app/MessagesReaderSource.h"
#include "localmodel/LocalModelClient.h"
#include "platform/contacts/VCardContactsStore.h"
#include "platform/net/HttpClient.h"
#include "platform/system/InstallLocations.h"
#include "platform/system/UrlOpener.h"
#include "sources/messages/MessagesDatabasePath.h"
#include "sources/messages/MessagesPermission.h"
#include "state/DesktopOpener.h"

namespace nudgerly {

AppComposition::AppComposition(const AppEnvironment& environment, MainQueue& mainQueue,
                               std::shared_ptr<Clipboard> clipboard,
                               std::shared_ptr<ContactsAccessPrompt> contactsPrompt, const ModelCatalog& catalog,
                               InstallFolders folders) {
    const std::filesystem::path dataDirectory = environment.dataDirectory;
    // The data folder is the data home followed by the program's folder name; the cards live beside it.
    auto contacts =
        std::make_shared<VCardContactsStore>(VCardContactsStore::contactsFolderIn(dataDirectory.parent_path()),
                                             environment.configurationDirectory, mainQueue, std::move(contactsPrompt));
    state_ = std::make_unique<AppState>(AppStateDependencies{
        .mainQueue = mainQueue,
        .executor = executor_,
        .clock = clock_,
        .settings = environment.settings,
        .info = environment.info,
        .dataDirectory = dataDirectory,
        .catalog = catalog,
        .contacts = contacts,
        .messagesPermission = [] { return currentMessagesPermission(); },
        .messages = makeMessagesReaderSource(contacts),
        .gmail = makeGmailServiceSource({
            .resourceFolder = folders.resources,
            .dataDirectory = dataDirectory,
            .secrets = environment.secrets,
            .http = std::make_shared<CurlHttpClient>(),
            .urlOpener = std::make_shared<XdgUrlOpener>(),
            .mainQueue = mainQueue,
            .clock = clock_,
        }),
        .makeClassifier =
            [dataDirectory, folders, &mainQueue](const ModelPack& pack) {
                auto client = std::make_shared<LocalModelClient>(pack, LocalModelClientSettings{
                                                                           .dataFolder = dataDirectory,
                                                                           .runtimeFolder = folders.privateLibrary,
                                                                           .resourceFolder = folders.resources,
                                                                       });
                return std::make_shared<ConversationClassifier>(std::move(client), mainQueue);
            },
        .makeDownloadManager = downloadManagerFactory(dataDirectory, mainQueue),
        .clipboard = std::move(clipboard),
        .opener = std::make_shared<DesktopOpener>(executor_),
        .messagesDatabase = messagesDatabasePath(),
    });
}

AppStateDependencies::DownloadManagerFactory AppComposition::downloadManagerFactory(
    std::filesystem::path dataDirectory, MainQueue& mainQueue, DownloadConfiguration configuration) {
    // Without a transport of ours, a manager transfers over curl on workers of its own, which it stops
    // when it goes.
    return [dataDirectory = std::move(dataDirectory), &mainQueue,
            configuration = std::move(configuration)](const ModelPack& pack) {
        return std::make_unique<ModelDownloadManager>(ModelDownloadManager::Dependencies{
            .mainQueue = mainQueue, .pack = pack, .rootDirectory = dataDirectory, .configuration = configuration});
    };
}

AppComposition::~AppComposition() {
    state_.reset();
    executor_.stop();
}

}  // namespace nudgerly
