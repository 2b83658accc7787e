#include "demo/DemoQueue.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "classifier/ConversationClassifier.h"
#include "core/MainQueue.h"
#include "core/RawEnum.h"
#include "demo/DemoShowcase.h"
#include "modelpacks/ModelCatalog.h"
#include "modelpacks/ModelSelectionStore.h"
#include "platform/contacts/VCardContactsStore.h"
#include "queues/ManualMainQueue.h"
#include "sources/messages/MessagesReader.h"
#include "state/AppStateSettings.h"
#include "storage/AppEnvironment.h"
#include "storage/SnapshotStore.h"

namespace nudgerly::test {
namespace {

// The reader finds link pictures from "~", which must be the demo's home while it reads.
class HomePointedAt {
public:
    explicit HomePointedAt(const std::filesystem::path& home) {
        if (const char* previous = std::getenv("HOME")) {
            previous_ = previous;
        }
        setenv("HOME", home.c_str(), 1);
    }
    ~HomePointedAt() {
        if (previous_) {
            setenv("HOME", previous_->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }
    HomePointedAt(const HomePointedAt&) = delete;
    HomePointedAt& operator=(const HomePointedAt&) = delete;

private:
    std::optional<std::string> previous_;
};

}  // namespace

std::size_t saveDemoQueue(const DemoHome& demo, const std::string& userFirstName, LookbackWindow lookback) {
    const AppEnvironment environment =
        AppEnvironment::withHomes(AppInfo(AppInfo::compiledDefaults()), demo.dataHome, demo.configHome);
    SettingsStore& settings = *environment.settings;

    // Basic Mode: a pack chosen for this catalogue, none installed.
    const ModelPack pack = ModelSelectionStore::selectedPack(ModelCatalog::nudgerly(), settings);
    ModelSelectionStore::persist(pack, settings);
    settings.setString(AppStateSettings::modelChoiceVersion, AppStateSettings::currentModelChoiceVersion);
    settings.setInteger(AppStateSettings::lookbackDaysCombined, toRaw(lookback));
    settings.setInteger(AppStateSettings::lookbackDaysMessages, toRaw(lookback));

    ManualMainQueue mainQueue;
    auto contacts =
        std::make_shared<VCardContactsStore>(demo.contactsFolder, environment.configurationDirectory, mainQueue);
    const MessagesReader reader(contacts, userFirstName, demo.database);
    ConversationBatch batch;
    {
        const HomePointedAt pointed(demo.home);
        batch = reader.scan(lookback, {});
    }
    ConversationClassifier classifier(pack, environment.dataDirectory, mainQueue);
    const SnapshotClassificationResult result = classifier.makeSnapshotWithReport(batch, std::nullopt, {}, {});
    classifier.requestShutdown().wait();

    SnapshotStore::save(result.snapshot, environment.dataDirectory / "messages-snapshot.json");
    // One conversation is already dealt with, so the completed view has something to show.
    for (const ReviewItem& item : result.snapshot.items) {
        if (item.person == DemoShowcase::donePerson) {
            settings.setStringArray(AppStateSettings::completedItems, {item.completionKey.value_or(item.id)});
        }
    }
    // The saved queue names people as these contacts do; the program uses it while they stay so.
    if (const auto token = contacts->currentHistoryToken()) {
        settings.setData(AppStateSettings::messagesContactsHistoryToken, *token);
    }
    return result.snapshot.items.size();
}

}  // namespace nudgerly::test
