#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include "state/AppStateView.h"
#include "ui/accounts/ModelRowPresentation.h"
#include "ui/kit/ConfirmDialog.h"

class QComboBox;
class QHBoxLayout;
class QProgressBar;

namespace nudgerly {

class Spinner;
class StateBridge;
class SymbolLabel;
class SymbolView;
class WrapLabel;

// The Local AI card of the accounts page: the model's status and detail, the pack picker, the
// download's progress, and the buttons of the download state, some of which ask first. Follows the
// state in place. Children: "icon", "modelStatusLabel", "modelDetail", "modelPicker",
// "modelRecommendation", "modelProgressBar", "modelSpinner", and the buttons "downloadButton",
// "pauseButton", "resumeButton", "cancelDownloadButton", "retryButton", "refreshQueueButton",
// "removeButton", "basicModeButton".
class LocalAIModelRow : public QWidget {
    Q_OBJECT

public:
    explicit LocalAIModelRow(AppStateView& state, QWidget* parent = nullptr);

    // The confirmation on screen, or null.
    ConfirmDialog* openConfirmation() const { return confirmation_; }

private:
    void sync();
    void syncPicker();
    void syncProgress();
    void syncButtons();
    void syncConfirmation();
    void perform(ModelAction action);
    void confirm(ModelConfirmationKind kind);

    AppStateView& state_;
    StateBridge* bridge_ = nullptr;
    SymbolView* icon_ = nullptr;
    SymbolLabel* status_ = nullptr;
    WrapLabel* detail_ = nullptr;
    QComboBox* picker_ = nullptr;
    std::vector<std::pair<std::string, std::string>> pickerEntries_;  // identifier and label of each entry
    WrapLabel* recommendation_ = nullptr;
    QWidget* progressView_ = nullptr;
    QProgressBar* bar_ = nullptr;
    Spinner* spinner_ = nullptr;
    QWidget* buttonBar_ = nullptr;
    QHBoxLayout* buttonLayout_ = nullptr;
    std::map<ModelAction, QPushButton*> buttons_;
    QPointer<ConfirmDialog> confirmation_;
    ModelConfirmationKind confirmationKind_ = ModelConfirmationKind::download;
    QPointer<QPushButton> confirmButton_;
};

}  // namespace nudgerly
