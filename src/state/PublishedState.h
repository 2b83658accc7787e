#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "modelpacks/ModelDownloadEvent.h"
#include "modelpacks/ModelDownloadState.h"
#include "modelpacks/ModelPack.h"
#include "platform/contacts/ContactsPermission.h"
#include "review/GmailConnectionStatus.h"
#include "review/ModelAvailability.h"
#include "review/QueueCompletionScope.h"
#include "review/QueueSort.h"
#include "review/RefreshLookbacks.h"
#include "review/RefreshProgress.h"
#include "review/ReviewSnapshot.h"
#include "review/ReviewSource.h"
#include "review/ReviewStatus.h"
#include "sources/messages/MessagesPermission.h"
#include "state/Section.h"

namespace nudgerly {

// Snapshots are replaced whole and never edited, so the window and workers can share them.
using SnapshotMap = std::map<ReviewSource, std::shared_ptr<const ReviewSnapshot>>;

// What the window observes of the state object, in declaration order. The initial values are the
// ones before start-up reads settings and files.
struct PublishedState {
    Section section = Section::queue;
    std::optional<ReviewSource> sourceFilter;  // none: all sources
    std::optional<ReviewStatus> statusFilter;  // none: all statuses
    QueueCompletionScope completionScope = QueueCompletionScope::open;
    RefreshLookbacks refreshLookbacks;
    QueueSort queueSort = QueueSort::priority;
    bool contactsOnly = false;
    std::string search;
    SnapshotMap snapshots;
    GmailConnectionStatus gmailStatus;
    MessagesPermission messagesPermission = MessagesPermission::denied;
    ContactsPermission contactsPermission = ContactsPermission::notDetermined;
    ModelAvailability modelAvailability = ModelAvailability::missing();
    ModelPack selectedModelPack;
    ModelDownloadState modelDownloadState;
    std::optional<ModelDownloadProgress> modelDownloadProgress;  // byte counts of the current or paused download
    bool needsModelChoice = false;
    std::optional<std::string> modelRuntimeIssue;
    std::optional<std::string> modelRuntimeDiagnosticCode;
    // The model file NUDGERLY_MODEL_PATH names, when it exists: Local AI loads it in place of any pack.
    std::optional<std::string> environmentModelFile;
    // The model shipped with the program, when the selected pack is served by it (no pack of its own
    // is installed in the data folder).
    std::optional<std::string> shippedModelFile;
    bool isSwitchingModel = false;
    bool isRemovingModel = false;
    bool gmailAuthorizationInProgress = false;
    bool isDisconnectingGmail = false;
    std::set<ReviewSource> refreshingSources;
    std::map<ReviewSource, RefreshProgress> refreshProgressBySource;
    bool isDeletingLocalData = false;
    std::string activity = "Ready";
    std::optional<std::string> errorMessage;
    std::unordered_set<std::string> completed;  // completion identities of the items marked done
    std::optional<std::string> selectedItemID;
    std::vector<ModelPack> modelPacks;  // the packs offered in the picker
    bool isLoadingSavedQueues = false;  // start-up is still reading the saved queues

    // The snapshot of a source, or null.
    const ReviewSnapshot* snapshot(ReviewSource source) const {
        const auto found = snapshots.find(source);
        return found == snapshots.end() ? nullptr : found->second.get();
    }
};

// One name per published field, in the order of PublishedState.
enum class StateField {
    section,
    sourceFilter,
    statusFilter,
    completionScope,
    refreshLookbacks,
    queueSort,
    contactsOnly,
    search,
    snapshots,
    gmailStatus,
    messagesPermission,
    contactsPermission,
    modelAvailability,
    selectedModelPack,
    modelDownloadState,
    modelDownloadProgress,
    needsModelChoice,
    modelRuntimeIssue,
    modelRuntimeDiagnosticCode,
    environmentModelFile,
    shippedModelFile,
    isSwitchingModel,
    isRemovingModel,
    gmailAuthorizationInProgress,
    isDisconnectingGmail,
    refreshingSources,
    refreshProgressBySource,
    isDeletingLocalData,
    activity,
    errorMessage,
    completed,
    selectedItemID,
    modelPacks,
    isLoadingSavedQueues,
};

inline constexpr std::size_t stateFieldCount = static_cast<std::size_t>(StateField::isLoadingSavedQueues) + 1;

// The fields written since observers last heard.
class StateFieldSet {
public:
    StateFieldSet() = default;
    StateFieldSet(std::initializer_list<StateField> fields) {
        for (const StateField field : fields) {
            insert(field);
        }
    }

    void insert(StateField field) { bits_.set(static_cast<std::size_t>(field)); }
    bool contains(StateField field) const { return bits_.test(static_cast<std::size_t>(field)); }
    bool empty() const { return bits_.none(); }
    std::size_t size() const { return bits_.count(); }

    friend bool operator==(const StateFieldSet&, const StateFieldSet&) = default;

private:
    std::bitset<stateFieldCount> bits_;
};

}  // namespace nudgerly
