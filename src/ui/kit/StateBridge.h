#pragma once

#include <initializer_list>

#include <QObject>

#include "state/AppStateView.h"

namespace nudgerly {

// The state object's change notification as a Qt signal. The state object collects the fields written
// during one main-queue turn and tells them once; on the QtMainQueue a turn is one event-loop pass, so
// `changed` comes at most once per pass with every field written since the last one. Screens connect
// to it and re-read the state in place. Main thread only.
class StateBridge : public QObject {
    Q_OBJECT

public:
    explicit StateBridge(AppStateView& state, QObject* parent = nullptr);

    AppStateView& state() const { return state_; }

    // Whether any of `fields` is among `changed`.
    static bool touches(const StateFieldSet& changed, std::initializer_list<StateField> fields);

signals:
    void changed(const nudgerly::StateFieldSet& fields);

private:
    AppStateView& state_;
    ObservationToken observation_;
};

}  // namespace nudgerly
