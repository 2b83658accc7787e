#pragma once

class QWidget;

namespace nudgerly {

class UpdateController;

// Passes the user's request to check for updates on to the updater. When the updater answers with a
// sentence instead of a window of its own (a build whose updates come from the system's package
// manager), the sentence is shown in a dialog over `parent`.
void checkForUpdates(UpdateController& updates, QWidget* parent);

}  // namespace nudgerly
