#pragma once

#include "core/MainTask.h"
#include "platform/system/SettingsStore.h"
#include "state/AppStateDependencies.h"
#include "state/AppStateView.h"
#include "state/StatePublisher.h"
#include "state/StatusLines.h"

namespace nudgerly {

// What each part of the state object works with: the published state it reads (with the derived
// members) and writes, the owner of the two shown lines, the one task scope its long operations run
// in, and the dependencies and user defaults. Everything referred to belongs to the state object and
// outlives the parts. Main thread only.
struct StateContext {
    const AppStateView& view;
    StatePublisher& publisher;
    StatusLines& lines;
    TaskScope& tasks;
    const AppStateDependencies& dependencies;
    SettingsStore& settings;

    const PublishedState& state() const { return view.state(); }
    const Clock& clock() const { return dependencies.clock; }
    // Contacts access as the store says now, mapped for the window.
    ContactsPermission currentContactsPermission() const {
        return contactsPermission(dependencies.contacts->authorizationStatus());
    }
};

// Contacts access counts as usable while the published permission is granted or limited.
inline bool contactsAccessIsUsable(const PublishedState& state) {
    return allowsReadingContacts(state.contactsPermission);
}

// Whether a model operation holds the model; the model operations and the Messages rebuild wait for it.
inline bool isChangingModel(const PublishedState& state) {
    return state.isSwitchingModel || state.isRemovingModel;
}

}  // namespace nudgerly
