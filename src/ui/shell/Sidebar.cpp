#include "ui/shell/Sidebar.h"

#include <QListView>
#include <QLocale>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "ui/kit/Divider.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/StateBridge.h"
#include "ui/shell/SidebarRowDelegate.h"

namespace nudgerly {
namespace {

constexpr int narrowest = 185;
constexpr int ideal = 205;
constexpr int widest = 230;

}  // namespace

Sidebar::Sidebar(StateBridge& bridge, QWidget* parent) : QWidget(parent), bridge_(bridge) {
    setObjectName(QStringLiteral("sidebar"));
    setMinimumWidth(narrowest);
    setMaximumWidth(widest);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    model_ = new QStandardItemModel(this);
    for (const AppSidebar::Section& section : AppSidebar::sections()) {
        auto* header = new QStandardItem(qtText(section.title));
        header->setData(true, headerRole);
        header->setFlags(Qt::ItemIsEnabled);  // a title, never selected
        model_->appendRow(header);
        for (const AppSidebar::Row& row : section.rows) {
            auto* item = new QStandardItem(qtText(row.label));
            item->setData(qtText(row.symbol), symbolRole);
            item->setData(static_cast<int>(row.destination), destinationRole);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            rows_[static_cast<std::size_t>(row.destination)] = item;
            model_->appendRow(item);
        }
    }

    list_ = new QListView(this);
    list_->setObjectName(QStringLiteral("sidebarList"));
    list_->setAccessibleName(QStringLiteral("Sidebar"));
    list_->setModel(model_);
    list_->setItemDelegate(new SidebarRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setUniformItemSizes(false);
    column->addWidget(list_, 1);
    column->addWidget(new Divider(Qt::Horizontal, this));

    auto* footer = new QWidget(this);
    auto* lines = new QVBoxLayout(footer);
    lines->setContentsMargins(12, 12, 12, 12);
    lines->setSpacing(10);
    const char* names[] = {"messagesStatus", "gmailStatus", "localAIStatus"};
    for (std::size_t i = 0; i < statusLines_.size(); ++i) {
        statusLines_[i] = new SidebarStatusLine({}, footer);
        statusLines_[i]->setObjectName(QLatin1String(names[i]));
        lines->addWidget(statusLines_[i]);
    }
    column->addWidget(footer);

    // Mouse and keyboard both move the current row; a sync moves it with the model's signals blocked.
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { choose(current); });
    connect(&bridge_, &StateBridge::changed, this, [this] { sync(); });
    sync();
}

QSize Sidebar::sizeHint() const {
    return {ideal, QWidget::sizeHint().height()};
}

int Sidebar::rowOf(SidebarDestination destination) const {
    return rows_[static_cast<std::size_t>(destination)]->row();
}

void Sidebar::sync() {
    const AppStateView& state = bridge_.state();
    const QLocale locale;
    for (QStandardItem* item : rows_) {
        const auto destination = static_cast<SidebarDestination>(item->data(destinationRole).toInt());
        const auto count = AppSidebar::count(state, destination);
        const QVariant shown = count ? QVariant(locale.toString(static_cast<qlonglong>(*count))) : QVariant();
        if (item->data(countRole) != shown) {
            item->setData(shown, countRole);
        }
    }
    const auto detailsList = AppSidebar::statusLines(state);
    for (std::size_t i = 0; i < statusLines_.size(); ++i) {
        statusLines_[i]->apply(detailsList[i]);
    }
    syncSelection();
}

void Sidebar::syncSelection() {
    const QModelIndex wanted = model_->index(rowOf(AppSidebar::selection(bridge_.state().state())), 0);
    QItemSelectionModel& selection = *list_->selectionModel();
    if (selection.currentIndex() == wanted && selection.isSelected(wanted) && selection.selectedIndexes().size() == 1) {
        return;
    }
    const QSignalBlocker blocker(selection);
    selection.setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect);
    list_->viewport()->update();
}

void Sidebar::choose(const QModelIndex& index) {
    const QVariant destination = index.data(destinationRole);
    if (destination.isValid()) {
        AppSidebar::select(bridge_.state(), static_cast<SidebarDestination>(destination.toInt()));
    }
    // What the state now shows, which is not the chosen row when a gate turned the request away. Read
    // once the click has been handled whole, as the view still selects the pressed row after this.
    QMetaObject::invokeMethod(
        this, [this] { syncSelection(); }, Qt::QueuedConnection);
}

}  // namespace nudgerly
