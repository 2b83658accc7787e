#pragma once

#include <memory>

#include "core/BackgroundExecutor.h"
#include "queues/ManualBackgroundExecutor.h"
#include "services/UpdateController.h"
#include "statefakes/WindowServiceStubs.h"
#include "ui/kit/StateBridge.h"
#include "ui/shell/MainWindow.h"

namespace nudgerly::test {

// The program's main window over a state object (the real one or the fake), with an updater and a
// feedback sender that do nothing and a quit request that is ignored: for tests and pictures of the
// real window. Needs a QApplication.
struct QuietWindow {
    QuietWindow(AppStateView& state, MainQueue& mainQueue)
        : bridge(state),
          window(bridge, {.updates = updates,
                          .requestQuit = [] {},
                          .feedback = {std::make_shared<NoSender>(), executor, mainQueue}}) {}

    StateBridge bridge;
    UpdateController updates{AppInfo(AppInfo::compiledDefaults()), std::make_unique<NoUpdater>()};
    ManualBackgroundExecutor executor;
    MainWindow window;
};

}  // namespace nudgerly::test
