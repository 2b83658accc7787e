#include "support/DemoQueue.h"

#include "classifier/ConversationClassifier.h"
#include "core/MainQueue.h"
#include "modelpacks/ModelCatalog.h"
#include "modelpacks/ModelSelectionStore.h"
#include "platform/VCardContactsStore.h"
#include "sources/messages/MessagesReader.h"
#include "state/AppStateSettings.h"
#include "storage/AppEnvironment.h"
#include "storage/SnapshotStore.h"

namespace nudgerly::test {

std::size_t saveDemoQueue(const DemoHome& demo, const std::string& userFirstName, int days) {
    const AppEnvironment environment =
        AppEnvironment::withHomes(AppInfo(AppInfo::compiledDefaults()), demo.dataHome, demo.configHome);
    SettingsStore& settings = *environment.settings;

    // Basic Mode: a pack chosen for this catalogue, none installed.
    const ModelPack pack = ModelSelectionStore::selectedPack(ModelCatalog::nudgerly(), settings);
    ModelSelectionStore::persist(pack, settings);
    settings.setString(AppStateSettings::modelChoiceVersion, AppStateSettings::currentModelChoiceVersion);
    settings.setInteger(AppStateSettings::lookbackDaysCombined, days);
    settings.setInteger(AppStateSettings::lookbackDaysMessages, days);

    ManualMainQueue mainQueue;
    auto contacts = std::make_shared<VCardContactsStore>(demo.contactsFolder, environment.configurationDirectory,
                                                         mainQueue);
    const MessagesReader reader(contacts, userFirstName, demo.database);
    const ConversationBatch batch = reader.scan(days, {});
    ConversationClassifier classifier(pack, environment.dataDirectory, mainQueue);
    const SnapshotClassificationResult result = classifier.makeSnapshotWithReport(batch, std::nullopt, {}, {});
    classifier.requestShutdown().wait();

    SnapshotStore::save(result.snapshot, environment.dataDirectory / "messages-snapshot.json");
    // The saved queue names people as these contacts do; the program uses it while they stay so.
    if (const auto token = contacts->currentHistoryToken()) {
        settings.setData(AppStateSettings::messagesContactsHistoryToken, *token);
    }
    return result.snapshot.items.size();
}

}  // namespace nudgerly::test
