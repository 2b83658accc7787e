#include "ui/queue/QueueListPane.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "state/QueueDerivation.h"
#include "ui/kit/Divider.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/FirstFitLayout.h"
#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/StateBridge.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/WidgetProperties.h"
#include "ui/kit/WrapLabel.h"
#include "ui/queue/EmptyState.h"
#include "ui/queue/QueueList.h"
#include "ui/queue/QueueListModel.h"
#include "ui/queue/QueueRowDelegate.h"
#include "ui/shared/PanePlaceholder.h"
#include "ui/shared/RefreshBanner.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly {
namespace {

// Whether the listed items may differ: one of the fields they are worked out from changed.
bool affectsList(const StateFieldSet& changed) {
    return StateBridge::touches(
        changed, {StateField::sourceFilter, StateField::statusFilter, StateField::completionScope,
                  StateField::refreshLookbacks, StateField::queueSort, StateField::contactsOnly, StateField::search,
                  StateField::snapshots, StateField::contactsPermission, StateField::completed});
}

constexpr char refreshSymbol[] = "arrow.clockwise";

int refreshIconSize() {
    return Symbols::sizeForText(metricsOf(TextStyle::body).pixelSize);
}

QComboBox* picker(const char* name, const QString& label, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setAccessibleName(label);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return box;
}

// Selects the entry at `index` without telling the user-choice handlers.
void showChoice(QComboBox& box, int index) {
    const QSignalBlocker blocker(box);
    box.setCurrentIndex(index);
}

template <typename Enum>
int indexOf(Enum value) {
    const auto cases = allCases<Enum>();
    return static_cast<int>(std::ranges::find(cases, value) - cases.begin());
}

QAction* addMenuAction(QMenu& menu, const QString& text, std::string_view symbol, const char* name) {
    QAction* action = menu.addAction(Symbols::icon(symbol), text);
    action->setObjectName(QLatin1String(name));
    setSymbolProperty(*action, symbol);
    return action;
}

}  // namespace

QueueListPane::QueueListPane(AppStateView& state, QWidget* parent) : QWidget(parent), state_(state) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(buildHeader());
    stack->addWidget(new Divider(Qt::Horizontal, this));
    for (const ReviewSource source : allCases<ReviewSource>()) {
        Banner banner{new RefreshBanner({.source = source}, this), new Divider(Qt::Horizontal, this)};
        banner.banner->setObjectName(QStringLiteral("refreshBanner") + qtText(toRaw(source)));
        banner.banner->hide();
        banner.divider->hide();
        stack->addWidget(banner.banner);
        stack->addWidget(banner.divider);
        banners_[source] = banner;
    }

    model_ = new QueueListModel(this);
    delegate_ = new QueueRowDelegate(*model_, this);
    list_ = new QListView(this);
    list_->setObjectName(QStringLiteral("queueList"));
    list_->setAccessibleName(QStringLiteral("Queue"));
    list_->setModel(model_);
    list_->setItemDelegate(delegate_);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setUniformItemSizes(false);
    list_->setWordWrap(true);  // a new width lays the rows out again, as their heights follow it
    list_->setFrameShape(QFrame::NoFrame);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    stack->addWidget(list_, 1);
    emptyState_ = new PanePlaceholder(this);
    emptyState_->setObjectName(QStringLiteral("emptyState"));
    connect(emptyState_, &PanePlaceholder::actionTriggered, this,
            [this](const EmptyStateAction& action) { performEmptyStateAction(action, state_); });
    stack->addWidget(emptyState_, 1);
    connectList();

    bridge_ = new StateBridge(state_, this);
    connect(bridge_, &StateBridge::changed, this, [this](const StateFieldSet& changed) { sync(changed, false); });
    sync({}, true);
}

QueueListPane::~QueueListPane() = default;

QWidget* QueueListPane::buildHeader() {
    auto* header = new QWidget(this);
    auto* stack = new QVBoxLayout(header);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(12);

    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(2);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(6);
    title_ = new ElidedLabel(TextStyle::title2, Tone::primary, 1, header);
    title_->setObjectName(QStringLiteral("queueTitle"));
    title_->setTextStyle(TextStyle::title2, FontWeight::semibold);
    title_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    count_ = new ElidedLabel(TextStyle::title3, Tone::tertiary, 1, header);
    count_->setObjectName(QStringLiteral("queueCount"));
    count_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The two sizes share a baseline: the smaller text sits higher by the difference of the descents.
    const int descents = QFontMetrics(title_->font()).descent() - QFontMetrics(count_->font()).descent();
    count_->setContentsMargins(0, 0, 0, std::max(descents, 0));
    titleLine->addWidget(title_, 0, Qt::AlignBottom);
    titleLine->addWidget(count_, 0, Qt::AlignBottom);
    titleLine->addStretch(1);
    titleBlock->addLayout(titleLine);
    subtitle_ = new WrapLabel(TextStyle::caption, Tone::secondary, header);
    subtitle_->setObjectName(QStringLiteral("queueSubtitle"));
    titleBlock->addWidget(subtitle_);
    stack->addLayout(titleBlock);

    stack->addWidget(buildRefreshRow());

    search_ = new QLineEdit(header);
    search_->setObjectName(QStringLiteral("searchField"));
    search_->setPlaceholderText(QStringLiteral("Search conversations"));
    search_->setAccessibleName(QStringLiteral("Search conversations"));
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textEdited, this,
            [this](const QString& text) { state_.setSearch(text.toStdString()); });
    stack->addWidget(search_);

    stack->addWidget(buildFilterControls());

    rangeLine_ = new WrapLabel(TextStyle::caption2, Tone::tertiary, header);
    rangeLine_->setObjectName(QStringLiteral("rangeLine"));
    stack->addWidget(rangeLine_);
    return header;
}

QWidget* QueueListPane::buildRefreshRow() {
    auto* row = new QWidget(this);
    refreshButton_ = new QPushButton(row);
    refreshButton_->setObjectName(QStringLiteral("refreshButton"));
    refreshButton_->setIconSize(QSize(refreshIconSize(), refreshIconSize()));
    refreshButton_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    Look::setProminent(*refreshButton_);
    connect(refreshButton_, &QPushButton::clicked, this, [this] { state_.refreshCurrentView(); });
    lastRefresh_ = new SymbolLabel("clock", TextStyle::caption, Tone::secondary, SymbolLabel::Lines::one, row);
    lastRefresh_->setObjectName(QStringLiteral("lastRefreshLabel"));

    refreshRow_ = new FirstFitLayout(row);
    refreshRow_->setHorizontalSpacing(10);
    refreshRow_->setVerticalSpacing(7);
    refreshRow_->addWidget(refreshButton_);
    refreshRow_->addWidget(lastRefresh_);
    refreshRow_->addArrangement({{0, 1}});
    refreshRow_->addArrangement({{0}, {1}});
    return row;
}

QWidget* QueueListPane::buildFilterControls() {
    auto* controls = new QWidget(this);
    statusPicker_ = picker("statusPicker", QStringLiteral("Status"), controls);
    statusPicker_->addItem(QStringLiteral("All statuses"));
    for (const ReviewStatus status : allCases<ReviewStatus>()) {
        statusPicker_->addItem(qtText(ReviewDisplay::statusName(status)));
    }
    connect(statusPicker_, &QComboBox::activated, this, [this](int index) {
        const auto statuses = allCases<ReviewStatus>();
        state_.setStatusFilter(index <= 0 ? std::nullopt
                                          : std::optional(statuses.at(static_cast<std::size_t>(index - 1))));
    });

    sortPicker_ = picker("sortPicker", QStringLiteral("Sort"), controls);
    for (const QueueSort sort : allCases<QueueSort>()) {
        sortPicker_->addItem(qtText(QueueList::sortName(sort)));
    }
    connect(sortPicker_, &QComboBox::activated, this,
            [this](int index) { state_.setQueueSort(allCases<QueueSort>().at(static_cast<std::size_t>(index))); });

    lookbackPicker_ = picker("lookbackPicker", QStringLiteral("Lookback"), controls);
    for (const LookbackWindow window : allCases<LookbackWindow>()) {
        lookbackPicker_->addItem(qtText(QueueList::lookbackName(window)));
    }
    connect(lookbackPicker_, &QComboBox::activated, this,
            [this](int index) { state_.setLookback(allCases<LookbackWindow>().at(static_cast<std::size_t>(index))); });

    contactsOnly_ = new QCheckBox(QStringLiteral("Known contacts only"), controls);
    contactsOnly_->setObjectName(QStringLiteral("contactsOnlyToggle"));
    contactsOnly_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(contactsOnly_, &QCheckBox::clicked, this, [this](bool on) { state_.setContactsOnly(on); });

    filters_ = new FirstFitLayout(controls);
    filters_->setHorizontalSpacing(8);
    filters_->setVerticalSpacing(8);
    for (QWidget* control : {static_cast<QWidget*>(statusPicker_), static_cast<QWidget*>(sortPicker_),
                             static_cast<QWidget*>(lookbackPicker_), static_cast<QWidget*>(contactsOnly_)}) {
        filters_->addWidget(control);
    }
    filters_->addArrangement({{0, 1, 2, 3}});
    filters_->addArrangement({{0, 1, 2}, {3}});
    filters_->addArrangement({{0, 1}, {2, 3}});
    return controls;
}

void QueueListPane::connectList() {
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { userSelected(); });
    connect(list_, &QListView::customContextMenuRequested, this, &QueueListPane::showContextMenu);
}

void QueueListPane::sync(const StateFieldSet& changed, bool everything) {
    syncing_ = true;
    if (everything || affectsList(changed)) {
        syncList(everything || changed.contains(StateField::selectedItemID));
    } else if (changed.contains(StateField::selectedItemID)) {
        syncSelection(true);
    }
    syncHeader();
    syncRefreshButton();
    syncPickers();
    syncBanners();
    const bool empty = visibleCount_ == 0;
    if (empty) {
        emptyState_->apply(decideEmptyState(state_));
    }
    list_->setVisible(!empty);
    emptyState_->setVisible(empty);
    syncing_ = false;
}

void QueueListPane::syncHeader() {
    const PublishedState& state = state_.state();
    title_->setText(qtText(QueueList::queueTitle(state)));
    count_->setText(qtText(QueueList::localizedCount(visibleCount_)));
    subtitle_->setText(qtText(QueueList::queueSubtitle(state)));
    lastRefresh_->setText(qtText(QueueList::lastRefreshSummary(state_)));
    rangeLine_->setText(qtText(state_.rangeSummary()));
    if (search_->text().toStdString() != state.search) {
        // Only a change from elsewhere is shown; the user's own typing keeps its cursor.
        const QSignalBlocker blocker(search_);
        search_->setText(qtText(state.search));
    }
}

void QueueListPane::syncRefreshButton() {
    const bool refreshing = state_.isRefreshingCurrentView();
    const QString label = qtText(state_.refreshLabel());
    refreshButton_->setText(buttonText(label));
    refreshButton_->setEnabled(state_.canRefreshCurrentView());
    refreshButton_->setAccessibleName(refreshing ? QStringLiteral("Refreshing the queue") : label);
    refreshButton_->setProperty("busy", refreshing);
    setSymbolProperty(*refreshButton_, refreshing ? "" : refreshSymbol);
    if (refreshing && !spinnerTimer_.isActive()) {
        spinnerTimer_.start(Spinner::frameMilliseconds, this);
        spinnerStep_ = 0;
    } else if (!refreshing) {
        spinnerTimer_.stop();
        spinnerStep_ = 0;
    }
    // The icon changes only with the indicator: a new icon lays the header out and paints it again.
    const int icon = refreshing ? spinnerStep_ : -1;
    if (icon == shownIcon_) {
        return;
    }
    shownIcon_ = icon;
    if (!refreshing) {
        refreshButton_->setIcon(
            QIcon(Symbols::tinted(refreshSymbol, Qt::white, refreshIconSize(), devicePixelRatioF())));
        return;
    }
    // The indicator's frame, drawn as the button's icon so that the button keeps its size.
    const qreal ratio = devicePixelRatioF();
    QPixmap frame(QSize(refreshIconSize(), refreshIconSize()) * ratio);
    frame.setDevicePixelRatio(ratio);
    frame.fill(Qt::transparent);
    QPainter painter(&frame);
    Spinner::paintSpokes(painter, QPointF(refreshIconSize() / 2.0, refreshIconSize() / 2.0), refreshIconSize(),
                         spinnerStep_, Qt::white);
    painter.end();
    refreshButton_->setIcon(QIcon(frame));
}

void QueueListPane::timerEvent(QTimerEvent* event) {
    if (event->timerId() != spinnerTimer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    spinnerStep_ = (spinnerStep_ + 1) % Spinner::frameCount;
    syncRefreshButton();
}

void QueueListPane::syncPickers() {
    const PublishedState& state = state_.state();
    const bool refreshing = state_.isRefreshingCurrentView();
    showChoice(*statusPicker_, state.statusFilter ? indexOf(*state.statusFilter) + 1 : 0);
    showChoice(*sortPicker_, indexOf(state.queueSort));
    sortPicker_->setEnabled(!refreshing);
    showChoice(*lookbackPicker_, indexOf(QueueDerivation::viewLookback(state)));
    lookbackPicker_->setEnabled(!refreshing);

    const QSignalBlocker blocker(contactsOnly_);
    contactsOnly_->setChecked(state.contactsOnly);
    contactsOnly_->setVisible(state.sourceFilter != ReviewSource::gmail);
    contactsOnly_->setEnabled(!state.refreshingSources.contains(ReviewSource::messages));
    setPlainToolTip(*contactsOnly_, qtText(QueueList::contactsOnlyHelp(state)));
}

void QueueListPane::syncBanners() {
    std::map<ReviewSource, RefreshProgress> shown;
    for (const RefreshProgress& progress : state_.visibleRefreshProgresses()) {
        shown.emplace(progress.source, progress);
    }
    for (auto& [source, banner] : banners_) {
        const auto found = shown.find(source);
        if (found != shown.end() && !(banner.banner->progress() == found->second)) {
            banner.banner->setProgress(found->second);
        }
        banner.banner->setVisible(found != shown.end());
        banner.divider->setVisible(found != shown.end());
    }
}

void QueueListPane::syncList(bool revealSelection) {
    std::shared_ptr<const QueueItems> items = state_.visibleQueue();
    visibleCount_ = static_cast<int>(items->size());
    const bool reset = model_->setItems(std::move(items), QueueList::shouldGroupByStatus(state_.state()), state_.now());
    if (!reset) {
        delegate_->showAges(*list_);
    }
    syncSelection(revealSelection || reset);
}

void QueueListPane::syncSelection(bool reveal) {
    QItemSelectionModel& selection = *list_->selectionModel();
    const std::optional<std::string>& id = state_.state().selectedItemID;
    const int row = id ? model_->rowOfItem(*id) : -1;
    if (row < 0) {
        if (selection.hasSelection()) {
            selection.clearSelection();
        }
        return;
    }
    const QModelIndex index = model_->index(row);
    if (!selection.isSelected(index)) {
        selection.setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    if (reveal) {
        list_->scrollTo(index);
    }
}

void QueueListPane::userSelected() {
    if (syncing_) {
        return;
    }
    const QModelIndexList selected = list_->selectionModel()->selectedIndexes();
    std::optional<std::string> id = selected.isEmpty() ? std::nullopt : model_->itemID(selected.first());
    if (id != state_.state().selectedItemID) {
        state_.setSelectedItemID(std::move(id));
    }
}

std::unique_ptr<QMenu> QueueListPane::buildRowContextMenu(const ReviewItem& item) {
    auto menu = std::make_unique<QMenu>();
    QAction* open = addMenuAction(*menu, qtText("Open in " + std::string(ReviewDisplay::sourceName(item.source))),
                                  "arrow.up.forward.app", "openAction");
    open->setEnabled(item.openURL.has_value());
    connect(open, &QAction::triggered, this, [this, item] { state_.open(item); });
    if (ReviewDisplay::hasReplyToCopy(item)) {
        QAction* copy = addMenuAction(*menu, QStringLiteral("Copy suggested reply"), "doc.on.doc", "copyDraftAction");
        connect(copy, &QAction::triggered, this, [this, item] { state_.copyDraft(item); });
    }
    menu->addSeparator();
    const bool completed = QueueList::isCompleted(state_.state(), item);
    QAction* toggle =
        addMenuAction(*menu, completed ? QStringLiteral("Restore to queue") : QStringLiteral("Mark completed"),
                      completed ? "arrow.uturn.backward" : "checkmark.circle", "toggleCompletedAction");
    connect(toggle, &QAction::triggered, this, [this, item] { state_.toggleCompleted(item); });
    return menu;
}

void QueueListPane::showContextMenu(const QPoint& position) {
    const QModelIndex index = list_->indexAt(position);
    if (!model_->itemID(index)) {
        return;
    }
    const std::unique_ptr<QMenu> menu = buildRowContextMenu(*model_->entry(index.row()).item);
    menu->exec(list_->viewport()->mapToGlobal(position));
}

}  // namespace nudgerly
