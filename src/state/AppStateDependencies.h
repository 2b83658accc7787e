#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "classifier/ConversationClassifier.h"
#include "core/BackgroundExecutor.h"
#include "core/Clock.h"
#include "core/MainQueue.h"
#include "modelpacks/ModelCatalog.h"
#include "modelpacks/ModelDownloadManager.h"
#include "platform/contacts/ContactsStore.h"
#include "platform/system/AppInfo.h"
#include "platform/system/SettingsStore.h"
#include "sources/messages/MessagesPermission.h"
#include "state/Clipboard.h"
#include "state/GmailSource.h"
#include "state/MessagesSource.h"
#include "state/SystemOpener.h"

namespace nudgerly {

// Everything the state object works with, made by the composition root (or a test) and handed in
// whole. The main queue, the executor and the clock must outlive the state object; the executor is
// stopped before the main queue goes.
struct AppStateDependencies {
    using ClassifierFactory = std::function<std::shared_ptr<ConversationClassifier>(const ModelPack& pack)>;
    using DownloadManagerFactory = std::function<std::unique_ptr<ModelDownloadManager>(const ModelPack& pack)>;
    using MessagesPermissionProbe = std::function<MessagesPermission()>;

    MainQueue& mainQueue;
    BackgroundExecutor& executor;
    const Clock& clock;
    std::shared_ptr<SettingsStore> settings;  // the user defaults
    AppInfo info;
    std::filesystem::path dataDirectory;  // snapshots and model packs
    ModelCatalog catalog;
    std::shared_ptr<ContactsStore> contacts;
    MessagesPermissionProbe messagesPermission;  // whether the Messages database opens for reading
    std::shared_ptr<MessagesSource> messages;
    std::shared_ptr<GmailSource> gmail;
    ClassifierFactory makeClassifier;
    DownloadManagerFactory makeDownloadManager;
    std::shared_ptr<Clipboard> clipboard;
    std::shared_ptr<SystemOpener> opener;
    // The Messages database the program reads, whose folder the Messages button shows.
    std::filesystem::path messagesDatabase;
};

}  // namespace nudgerly
