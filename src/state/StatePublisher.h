#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "core/MainQueue.h"
#include "state/PublishedState.h"

namespace nudgerly {

// Ends an observation when destroyed (also from inside a notification). Move-only.
class ObservationToken {
public:
    ObservationToken() = default;
    ObservationToken(ObservationToken&& other) noexcept;
    ObservationToken& operator=(ObservationToken&& other) noexcept;
    ObservationToken(const ObservationToken&) = delete;
    ObservationToken& operator=(const ObservationToken&) = delete;
    ~ObservationToken();

    // Stops the observation now; later calls do nothing.
    void reset();

private:
    friend class StatePublisher;
    struct Registry;
    ObservationToken(std::weak_ptr<Registry> registry, uint64_t id) : registry_(std::move(registry)), id_(id) {}

    std::weak_ptr<Registry> registry_;
    uint64_t id_ = 0;
};

// Holds the published state and tells observers which fields were written. A write marks its field
// without comparing values; the first mark in a main-queue turn posts one notification, which hands
// every observer the union of the fields written until it runs. A write made by an observer is heard
// in the next turn. Every write also counts, per field and per source's snapshot, so that what is
// worked out from some fields can tell whether any of them was written since. Main thread only.
class StatePublisher {
public:
    using Observer = std::function<void(const StateFieldSet& changed)>;

    explicit StatePublisher(MainQueue& mainQueue, PublishedState initial = {});
    ~StatePublisher();
    StatePublisher(const StatePublisher&) = delete;
    StatePublisher& operator=(const StatePublisher&) = delete;

    const PublishedState& state() const { return state_; }

    // How often the field was written, from 0.
    uint64_t writes(StateField field) const { return writes_.at(static_cast<std::size_t>(field)); }
    // How often the source's snapshot was set or removed, whole-map writes included.
    uint64_t snapshotWrites(ReviewSource source) const { return snapshotWrites_.at(static_cast<std::size_t>(source)); }

    [[nodiscard]] ObservationToken observe(Observer observer);

    void setSection(Section value) { write(state_.section, value, StateField::section); }
    void setSourceFilter(std::optional<ReviewSource> value) {
        write(state_.sourceFilter, value, StateField::sourceFilter);
    }
    void setStatusFilter(std::optional<ReviewStatus> value) {
        write(state_.statusFilter, value, StateField::statusFilter);
    }
    void setCompletionScope(QueueCompletionScope value) {
        write(state_.completionScope, value, StateField::completionScope);
    }
    void setRefreshLookbacks(RefreshLookbacks value) {
        write(state_.refreshLookbacks, value, StateField::refreshLookbacks);
    }
    void setQueueSort(QueueSort value) { write(state_.queueSort, value, StateField::queueSort); }
    void setContactsOnly(bool value) { write(state_.contactsOnly, value, StateField::contactsOnly); }
    void setSearch(std::string value) { write(state_.search, std::move(value), StateField::search); }
    void setSnapshots(SnapshotMap value);
    void setGmailStatus(GmailConnectionStatus value) {
        write(state_.gmailStatus, std::move(value), StateField::gmailStatus);
    }
    void setMessagesPermission(MessagesPermission value) {
        write(state_.messagesPermission, value, StateField::messagesPermission);
    }
    void setContactsPermission(ContactsPermission value) {
        write(state_.contactsPermission, value, StateField::contactsPermission);
    }
    void setModelAvailability(ModelAvailability value) {
        write(state_.modelAvailability, std::move(value), StateField::modelAvailability);
    }
    void setSelectedModelPack(ModelPack value) {
        write(state_.selectedModelPack, std::move(value), StateField::selectedModelPack);
    }
    void setModelDownloadState(ModelDownloadState value) {
        write(state_.modelDownloadState, std::move(value), StateField::modelDownloadState);
    }
    void setModelDownloadProgress(std::optional<ModelDownloadProgress> value) {
        write(state_.modelDownloadProgress, value, StateField::modelDownloadProgress);
    }
    void setNeedsModelChoice(bool value) { write(state_.needsModelChoice, value, StateField::needsModelChoice); }
    void setModelRuntimeIssue(std::optional<std::string> value) {
        write(state_.modelRuntimeIssue, std::move(value), StateField::modelRuntimeIssue);
    }
    void setModelRuntimeDiagnosticCode(std::optional<std::string> value) {
        write(state_.modelRuntimeDiagnosticCode, std::move(value), StateField::modelRuntimeDiagnosticCode);
    }
    void setEnvironmentModelFile(std::optional<std::string> value) {
        write(state_.environmentModelFile, std::move(value), StateField::environmentModelFile);
    }
    void setIsSwitchingModel(bool value) { write(state_.isSwitchingModel, value, StateField::isSwitchingModel); }
    void setShippedModelFile(std::optional<std::string> value) {
        write(state_.shippedModelFile, std::move(value), StateField::shippedModelFile);
    }
    void setIsRemovingModel(bool value) { write(state_.isRemovingModel, value, StateField::isRemovingModel); }
    void setGmailAuthorizationInProgress(bool value) {
        write(state_.gmailAuthorizationInProgress, value, StateField::gmailAuthorizationInProgress);
    }
    void setIsDisconnectingGmail(bool value) {
        write(state_.isDisconnectingGmail, value, StateField::isDisconnectingGmail);
    }
    void setRefreshingSources(std::set<ReviewSource> value) {
        write(state_.refreshingSources, std::move(value), StateField::refreshingSources);
    }
    void setRefreshProgressBySource(std::map<ReviewSource, RefreshProgress> value) {
        write(state_.refreshProgressBySource, std::move(value), StateField::refreshProgressBySource);
    }
    void setIsDeletingLocalData(bool value) {
        write(state_.isDeletingLocalData, value, StateField::isDeletingLocalData);
    }
    void setCompleted(std::unordered_set<std::string> value) {
        write(state_.completed, std::move(value), StateField::completed);
    }
    void setSelectedItemID(std::optional<std::string> value) {
        write(state_.selectedItemID, std::move(value), StateField::selectedItemID);
    }
    void setModelPacks(std::vector<ModelPack> value) {
        write(state_.modelPacks, std::move(value), StateField::modelPacks);
    }
    void setIsLoadingSavedQueues(bool value) {
        write(state_.isLoadingSavedQueues, value, StateField::isLoadingSavedQueues);
    }

    // Replaces the whole state, marking every field.
    void replaceAll(PublishedState value);

    // Small edits of the keyed fields, each marking its field like a whole write.
    void setSnapshot(ReviewSource source, std::shared_ptr<const ReviewSnapshot> snapshot);
    void removeSnapshot(ReviewSource source);
    void setRefreshProgress(ReviewSource source, RefreshProgress progress);
    void removeRefreshProgress(ReviewSource source);
    void insertRefreshingSource(ReviewSource source);
    void removeRefreshingSource(ReviewSource source);

private:
    // The activity line and the alert's sentence have one writer, StatusLines.
    friend class StatusLines;
    void setActivity(std::string value) { write(state_.activity, std::move(value), StateField::activity); }
    void setErrorMessage(std::optional<std::string> value) {
        write(state_.errorMessage, std::move(value), StateField::errorMessage);
    }

    template <typename Field, typename Value>
    void write(Field& field, Value&& value, StateField name) {
        field = std::forward<Value>(value);
        mark(name);
    }
    void mark(StateField field);
    void markSnapshot(ReviewSource source);

    MainQueue& mainQueue_;
    PublishedState state_;
    std::array<uint64_t, stateFieldCount> writes_{};
    std::array<uint64_t, 2> snapshotWrites_{};
    std::shared_ptr<ObservationToken::Registry> registry_;
};

}  // namespace nudgerly
