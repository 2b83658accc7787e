#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "core/BackgroundExecutor.h"
#include "core/Clock.h"
#include "core/MainQueue.h"
#include "modelpacks/ModelCatalog.h"
#include "platform/contacts/ContactsAccessPrompt.h"
#include "platform/system/InstallLocations.h"
#include "state/AppState.h"
#include "state/Clipboard.h"
#include "storage/AppEnvironment.h"

namespace nudgerly {

// Where the program finds the files installed with it: beside itself, unless a test lays out its own.
struct InstallFolders {
    std::optional<std::filesystem::path> privateLibrary = InstallLocations::privateLibraryFolder();
    std::optional<std::filesystem::path> resources = InstallLocations::resourceFolder();
};

// The program's state object with the real parts behind every seam: the vCard Contacts store, the
// Messages permission probe, the classifier and download manager of a pack, and the worker threads.
// The window passes in its main queue, its clipboard and the dialog that asks for Contacts access; the
// catalogue of model packs is the built-in one unless a test brings packs of its own. Main thread only.
class AppComposition {
public:
    AppComposition(const AppEnvironment& environment, MainQueue& mainQueue, std::shared_ptr<Clipboard> clipboard,
                   std::shared_ptr<ContactsAccessPrompt> contactsPrompt,
                   const ModelCatalog& catalog = ModelCatalog::nudgerly(), InstallFolders folders = {});
    // Destroys the state object, then stops the workers (waiting within a bound for running jobs).
    ~AppComposition();
    AppComposition(const AppComposition&) = delete;
    AppComposition& operator=(const AppComposition&) = delete;

    AppState& state() { return *state_; }

    // The program's download managers: real ones over HTTPS that keep the packs in `dataDirectory`.
    static AppStateDependencies::DownloadManagerFactory downloadManagerFactory(
        std::filesystem::path dataDirectory, MainQueue& mainQueue, DownloadConfiguration configuration = {});

private:
    SystemClock clock_;
    ThreadPoolExecutor executor_;
    std::unique_ptr<AppState> state_;
};

}  // namespace nudgerly
