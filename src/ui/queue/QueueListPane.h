#pragma once

#include <map>
#include <memory>

#include <QBasicTimer>
#include <QWidget>

#include "review/ReviewSource.h"
#include "state/AppStateView.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;

namespace nudgerly {

class Divider;
class ElidedLabel;
class FirstFitLayout;
class PanePlaceholder;
class QueueListModel;
class QueueRowDelegate;
class RefreshBanner;
class StateBridge;
class SymbolLabel;
class WrapLabel;

// The left half of the queue page: the header (title and count, subtitle, refresh row, search, filters,
// range line), a banner per running refresh of the shown sources, then the list of rows or, when
// nothing is listed, the empty state. Holds no data: it re-reads the state in place on every change
// and writes only the search, status filter and selection, or calls the state's operations.
// Children: "queueTitle", "queueCount", "queueSubtitle", "refreshButton", "lastRefreshLabel",
// "searchField", "statusPicker", "sortPicker", "lookbackPicker", "contactsOnlyToggle", "rangeLine",
// "queueList", "emptyState".
class QueueListPane : public QWidget {
    Q_OBJECT

public:
    explicit QueueListPane(AppStateView& state, QWidget* parent = nullptr);
    ~QueueListPane() override;

    // The context menu of a row; the caller shows it and owns it.
    std::unique_ptr<QMenu> buildRowContextMenu(const ReviewItem& item);

    // For tests and the benchmark: the list's model, and the layouts of the refresh row and the filters.
    const QueueListModel& model() const { return *model_; }
    const FirstFitLayout& refreshRowLayout() const { return *refreshRow_; }
    const FirstFitLayout& filterLayout() const { return *filters_; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Banner {
        RefreshBanner* banner = nullptr;
        Divider* divider = nullptr;
    };

    QWidget* buildHeader();
    QWidget* buildRefreshRow();
    QWidget* buildFilterControls();
    void connectList();

    void sync(const StateFieldSet& changed, bool everything);
    void syncHeader();
    void syncRefreshButton();
    void syncPickers();
    void syncBanners();
    void syncList(bool revealSelection);
    void syncSelection(bool reveal);
    void userSelected();
    void showContextMenu(const QPoint& position);

    AppStateView& state_;
    StateBridge* bridge_ = nullptr;
    bool syncing_ = false;
    int visibleCount_ = 0;

    ElidedLabel* title_ = nullptr;
    ElidedLabel* count_ = nullptr;
    WrapLabel* subtitle_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    SymbolLabel* lastRefresh_ = nullptr;
    FirstFitLayout* refreshRow_ = nullptr;
    QLineEdit* search_ = nullptr;
    QComboBox* statusPicker_ = nullptr;
    QComboBox* sortPicker_ = nullptr;
    QComboBox* lookbackPicker_ = nullptr;
    QCheckBox* contactsOnly_ = nullptr;
    FirstFitLayout* filters_ = nullptr;
    WrapLabel* rangeLine_ = nullptr;
    std::map<ReviewSource, Banner> banners_;
    QListView* list_ = nullptr;
    QueueListModel* model_ = nullptr;
    QueueRowDelegate* delegate_ = nullptr;
    PanePlaceholder* emptyState_ = nullptr;

    // Turns the refresh button's indicator while the shown view refreshes.
    QBasicTimer spinnerTimer_;
    int spinnerStep_ = 0;
    int shownIcon_ = -2;  // the indicator's frame on the refresh button, -1 for the arrow, -2 for none yet
};

}  // namespace nudgerly
