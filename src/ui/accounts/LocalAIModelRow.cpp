#include "ui/accounts/LocalAIModelRow.h"

#include <cmath>

#include <QComboBox>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/StateBridge.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {
namespace {

constexpr int indent = 48;  // the picker, progress and buttons line up under the texts
constexpr int barSteps = 1000;
constexpr int barMaximumWidth = 430;

const std::pair<ModelAction, const char*> buttonNames[] = {
    {ModelAction::confirmDownload, "downloadButton"},
    {ModelAction::pause, "pauseButton"},
    {ModelAction::resume, "resumeButton"},
    {ModelAction::confirmCancel, "cancelDownloadButton"},
    {ModelAction::retry, "retryButton"},
    {ModelAction::refreshQueue, "refreshQueueButton"},
    {ModelAction::confirmRemove, "removeButton"},
    {ModelAction::confirmBasicMode, "basicModeButton"},
};

// A block of the card set in under the texts.
QWidget* indented(QWidget* parent, QLayout* content) {
    auto* block = new QWidget(parent);
    auto* row = new QHBoxLayout(block);
    row->setContentsMargins(indent, 0, 0, 0);
    row->setSpacing(0);
    row->addLayout(content, 1);
    return block;
}

WrapLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new WrapLabel(TextStyle::caption, Tone::secondary, parent);
    label->setTextStyle(TextStyle::caption, FontWeight::semibold);
    label->setText(text);
    return label;
}

}  // namespace

LocalAIModelRow::LocalAIModelRow(AppStateView& state, QWidget* parent) : QWidget(parent), state_(state) {
    auto* card = new QVBoxLayout(this);
    card->setContentsMargins(0, 14, 0, 14);
    card->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(14);
    icon_ = SymbolView::cardIcon("brain.head.profile", Tone::secondary, this);
    header->addWidget(icon_, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(caption(QStringLiteral("Local AI setup \u00B7 Recommended"), this));
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(7);
    auto* title = new WrapLabel(TextStyle::headline, Tone::primary, this);
    title->setText(QStringLiteral("Local AI model"));
    title->setSizePolicy(QSizePolicy::Maximum, title->sizePolicy().verticalPolicy());
    status_ = new SymbolLabel({}, TextStyle::caption, Tone::secondary, SymbolLabel::Lines::one, this);
    status_->setObjectName(QStringLiteral("modelStatusLabel"));
    titleLine->addWidget(title, 0, Qt::AlignVCenter);
    titleLine->addWidget(status_, 0, Qt::AlignVCenter);
    titleLine->addStretch(1);
    texts->addLayout(titleLine);
    detail_ = new WrapLabel(TextStyle::subheadline, Tone::secondary, this);
    detail_->setObjectName(QStringLiteral("modelDetail"));
    texts->addWidget(detail_);
    header->addLayout(texts, 1);
    card->addLayout(header);

    auto* pickerColumn = new QVBoxLayout;
    pickerColumn->setSpacing(6);
    pickerColumn->addWidget(caption(QStringLiteral("Model"), this));
    picker_ = new QComboBox(this);
    picker_->setObjectName(QStringLiteral("modelPicker"));
    picker_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    picker_->setAccessibleName(QStringLiteral("Local AI model"));
    picker_->setAccessibleDescription(
        QStringLiteral("Select which model Nudgerly downloads and runs on this computer"));
    // Only a choice the user makes writes; syncing the list never does.
    connect(picker_, &QComboBox::activated, this, [this](int index) {
        const QString identifier = picker_->itemData(index).toString();
        if (!identifier.isEmpty()) {
            state_.selectModelPack(identifier.toStdString());
        }
    });
    pickerColumn->addWidget(picker_);
    recommendation_ = new WrapLabel(TextStyle::caption, Tone::secondary, this);
    recommendation_->setObjectName(QStringLiteral("modelRecommendation"));
    pickerColumn->addWidget(recommendation_);
    card->addWidget(indented(this, pickerColumn));

    auto* progressLine = new QHBoxLayout;
    progressLine->setSpacing(0);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("modelProgressBar"));
    bar_->setRange(0, barSteps);
    bar_->setTextVisible(false);
    bar_->setMaximumWidth(barMaximumWidth);
    spinner_ = new Spinner(Spinner::Size::small, this);
    spinner_->setObjectName(QStringLiteral("modelSpinner"));
    progressLine->addWidget(bar_, 1);
    progressLine->addWidget(spinner_);
    progressLine->addStretch(0);
    progressView_ = indented(this, progressLine);
    card->addWidget(progressView_);

    buttonLayout_ = new QHBoxLayout;
    buttonLayout_->setSpacing(8);
    for (const auto& [action, name] : buttonNames) {
        auto* button = new QPushButton(this);
        button->setObjectName(QString::fromLatin1(name));
        connect(button, &QPushButton::clicked, this, [this, action] { perform(action); });
        buttons_.emplace(action, button);
    }
    buttonBar_ = indented(this, buttonLayout_);
    card->addWidget(buttonBar_);

    bridge_ = new StateBridge(state_, this);
    connect(bridge_, &StateBridge::changed, this, &LocalAIModelRow::sync);
    sync();
}

void LocalAIModelRow::sync() {
    const PublishedState& state = state_.state();
    const ModelStatus status = modelStatus(state);
    icon_->setTone(status.tone);
    status_->setText(qtText(status.label));
    status_->setSymbol(status.symbol);
    status_->setTone(status.tone);
    detail_->setText(qtText(modelDetail(state)));
    detail_->setTone(modelDetailTone(state));
    recommendation_->setText(qtText(modelRecommendation(state.selectedModelPack)));
    syncPicker();
    syncProgress();
    syncButtons();
    syncConfirmation();
}

void LocalAIModelRow::syncPicker() {
    const PublishedState& state = state_.state();
    const QSignalBlocker blocker(picker_);
    std::vector<std::pair<std::string, std::string>> entries;
    for (const ModelPack& pack : state.modelPacks) {
        entries.emplace_back(pack.identifier, pack.pickerLabel());
    }
    if (entries != pickerEntries_) {
        picker_->clear();
        for (const auto& [identifier, label] : entries) {
            picker_->addItem(qtText(label), qtText(identifier));
        }
        pickerEntries_ = std::move(entries);
    }
    picker_->setCurrentIndex(picker_->findData(qtText(state.selectedModelPack.identifier)));
    picker_->setEnabled(state_.canSelectModelPack());
}

void LocalAIModelRow::syncProgress() {
    const ModelProgress progress = modelProgress(state_.state());
    const bool isBar = progress.kind == ModelProgress::Kind::bar;
    progressView_->setVisible(progress.kind != ModelProgress::Kind::none);
    bar_->setVisible(isBar);
    spinner_->setVisible(progress.kind == ModelProgress::Kind::spinner);
    bar_->setValue(isBar ? static_cast<int>(std::lround(progress.fraction * barSteps)) : 0);
    QWidget* shown = isBar ? static_cast<QWidget*>(bar_) : spinner_;
    shown->setAccessibleName(qtText(progress.accessibleName));
    shown->setAccessibleDescription(qtText(progress.accessibleValue));
}

void LocalAIModelRow::syncButtons() {
    const std::vector<ModelButton> shown = modelButtons(state_.state(), state_.isRefreshing());
    // The buttons are kept and only re-ordered: the order changes with the download state.
    for (const auto& [action, button] : buttons_) {
        buttonLayout_->removeWidget(button);
        button->hide();
    }
    while (QLayoutItem* rest = buttonLayout_->takeAt(0)) {
        delete rest;
    }
    for (const ModelButton& details : shown) {
        QPushButton* button = buttons_.at(details.action);
        button->setText(buttonText(qtText(details.text)));
        Look::setProminent(*button, details.style == ModelButton::Style::prominent);
        Look::setDestructive(*button, details.role == ModelButton::Role::destructive);
        button->setEnabled(details.enabled);
        buttonLayout_->addWidget(button);
        button->show();
    }
    buttonLayout_->addStretch(1);
    buttonBar_->setVisible(!shown.empty());
}

void LocalAIModelRow::syncConfirmation() {
    if (!confirmation_) {
        return;
    }
    // A question left open follows the selected pack, so it never names one it would not act on.
    const ModelConfirmation texts = modelConfirmation(confirmationKind_, state_.state());
    confirmation_->setTexts(qtText(texts.title), qtText(texts.message));
    if (confirmButton_) {
        confirmButton_->setText(buttonText(qtText(texts.confirmTitle)));
    }
}

void LocalAIModelRow::perform(ModelAction action) {
    switch (action) {
        case ModelAction::confirmDownload: confirm(ModelConfirmationKind::download); break;
        case ModelAction::pause: state_.pauseModelDownload(); break;
        case ModelAction::resume: state_.resumeModelDownload(); break;
        case ModelAction::confirmCancel: confirm(ModelConfirmationKind::cancelDownload); break;
        case ModelAction::retry: state_.retryModelDownload(); break;
        case ModelAction::refreshQueue: state_.refreshAll(state_.state().refreshLookbacks.combined); break;
        case ModelAction::confirmRemove: confirm(ModelConfirmationKind::remove); break;
        case ModelAction::confirmBasicMode: confirm(ModelConfirmationKind::basicMode); break;
    }
}

void LocalAIModelRow::confirm(ModelConfirmationKind kind) {
    if (confirmation_) {
        confirmation_->close();
    }
    const ModelConfirmation texts = modelConfirmation(kind, state_.state());
    AppStateView& state = state_;
    std::function<void()> act;
    switch (kind) {
        case ModelConfirmationKind::download: act = [&state] { state.startModelDownload(); }; break;
        case ModelConfirmationKind::cancelDownload: act = [&state] { state.cancelModelDownload(); }; break;
        case ModelConfirmationKind::remove: act = [&state] { state.removeLocalModel(); }; break;
        case ModelConfirmationKind::basicMode: act = [&state] { state.continueInBasicMode(); }; break;
    }
    const QString confirmTitle = qtText(texts.confirmTitle);
    std::vector<ConfirmButton> buttons{
        {confirmTitle, texts.confirmDestructive ? ConfirmButton::Role::destructive : ConfirmButton::Role::none,
         std::move(act)},
        {qtText(texts.cancelTitle), ConfirmButton::Role::cancel, {}},
    };
    confirmationKind_ = kind;
    confirmation_ = ConfirmDialog::present(this, qtText(texts.title), qtText(texts.message), std::move(buttons));
    confirmButton_ = confirmation_->buttonTitled(confirmTitle);
}

}  // namespace nudgerly
