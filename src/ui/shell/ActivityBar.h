#pragma once

#include <QWidget>

#include "ui/shell/ActivityBarModel.h"

namespace nudgerly {

class ElidedLabel;
class Spinner;
class StateBridge;
class SymbolView;

// The thin status bar under every page: a spinner or a status symbol with the current step, and on
// the queue page the lookback summary at the trailing edge. Follows the state in place. Named
// "activityBar"; children "activitySpinner", "activitySymbol", "activityText", "rangeSummary".
class ActivityBar : public QWidget {
    Q_OBJECT

public:
    explicit ActivityBar(AppStateView& state, QWidget* parent = nullptr);

    const ActivityBarModel& model() const { return model_; }

private:
    void sync();

    AppStateView& state_;
    StateBridge* bridge_ = nullptr;
    ActivityBarModel model_;
    Spinner* spinner_ = nullptr;
    SymbolView* symbol_ = nullptr;
    ElidedLabel* status_ = nullptr;
    ElidedLabel* range_ = nullptr;
};

}  // namespace nudgerly
