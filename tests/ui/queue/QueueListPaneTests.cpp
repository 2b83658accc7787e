#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/FirstFitLayout.h"
#include "ui/queue/QueueListModel.h"
#include "ui/queue/QueueListPane.h"
#include "ui/queue/QueueRowDelegate.h"
#include "ui/shared/PanePlaceholder.h"
#include "ui/shared/RefreshBanner.h"
#include "ui/shared/RowPresentation.h"

namespace nudgerly::test {
namespace {

// Lets the state's change notification reach the pane.
void settle() {
    QCoreApplication::processEvents();
}

template <typename Widget>
Widget* child(const QWidget& pane, const char* name) {
    auto* found = pane.findChild<Widget*>(QLatin1String(name));
    if (!found) {
        qFatal("No child named %s", name);
    }
    return found;
}

std::vector<QString> menuTexts(const QMenu& menu) {
    std::vector<QString> texts;
    for (const QAction* action : menu.actions()) {
        texts.push_back(action->isSeparator() ? QStringLiteral("---") : action->text());
    }
    return texts;
}

QAction* menuAction(const QMenu& menu, const char* name) {
    return menu.findChild<QAction*>(QLatin1String(name));
}

// Many Messages items, so that the list scrolls.
std::vector<ReviewItem> manyItems(Date now, std::string_view summary = "A question is waiting for you") {
    std::vector<ReviewItem> items;
    for (int index = 0; index < 60; ++index) {
        items.push_back({.id = "many-" + std::to_string(index),
                         .completionKey = "key-" + std::to_string(index),
                         .status = ReviewStatus::reply,
                         .person = "Person " + std::to_string(index),
                         .date = "Mar 9",
                         .timestamp = now.addingSeconds(-3600.0 * (index + 1)),
                         .summary = std::string(summary),
                         .verdict = "Open"});
    }
    return items;
}

// Sixty Messages items, newest first.
void showManyItems(StatePublisher& published, Date now) {
    published.setQueueSort(QueueSort::newest);
    published.setSnapshot(ReviewSource::messages, fixtureSnapshot(ReviewSource::messages, now, manyItems(now)));
}

// Shows the pane at a size, so that its list lays out and takes clicks.
bool showAt(QWidget& pane, int width, int height) {
    pane.resize(width, height);
    pane.show();
    return QTest::qWaitForWindowExposed(&pane);
}

}  // namespace

// Clicks the shown button of the pane's empty state that has this title; false when there is none.
bool pressEmptyStateButton(const QWidget& pane, const QString& title) {
    for (QPushButton* button : child<PanePlaceholder>(pane, "emptyState")->findChildren<QPushButton*>()) {
        if (button->isVisible() && button->text() == title) {
            QTest::mouseClick(button, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

class QueueListPaneTests : public QObject {
    Q_OBJECT

private slots:
    void theHeaderNamesTheViewAndCountsItsItems() {
        ScreenFixture fixture("ready");
        QueueListPane pane(fixture.state);
        QCOMPARE(child<ElidedLabel>(pane, "queueTitle")->text(), "Queue");
        QCOMPARE(child<ElidedLabel>(pane, "queueCount")->text(), QString::number(fixture.state.visibleItems().size()));
        QVERIFY(child<QWidget>(pane, "emptyState")->isHidden());
        QVERIFY(!child<QListView>(pane, "queueList")->isHidden());
        auto* refresh = child<QPushButton>(pane, "refreshButton");
        QCOMPARE(refresh->text(), "Refresh All");
        QCOMPARE(refresh->accessibleName(), "Refresh All");
        QCOMPARE(refresh->property("symbol").toString(), "arrow.clockwise");
        QCOMPARE(child<QComboBox>(pane, "statusPicker")->accessibleName(), "Status");
        QCOMPARE(child<QComboBox>(pane, "sortPicker")->accessibleName(), "Sort");
        QCOMPARE(child<QComboBox>(pane, "lookbackPicker")->currentText(), "30 days");
        QCOMPARE(child<QLineEdit>(pane, "searchField")->placeholderText(), "Search conversations");

        // The completed view, nothing to list: the empty state in place of the list, the count 0.
        fixture.state.published().setCompletionScope(QueueCompletionScope::completed);
        fixture.state.published().setCompleted({});
        settle();
        QCOMPARE(child<ElidedLabel>(pane, "queueTitle")->text(), "Completed");
        QCOMPARE(child<ElidedLabel>(pane, "queueCount")->text(), "0");
        QVERIFY(child<QListView>(pane, "queueList")->isHidden());
        auto* empty = child<PanePlaceholder>(pane, "emptyState");
        QVERIFY(!empty->isHidden());
        QCOMPARE(empty->details().kind, EmptyStateKind::nothingCompleted);
    }

    void everyEmptyStateButtonCallsItsOperation() {
        ScreenFixture fixture("basicMode");
        StatePublisher& published = fixture.state.published();
        QueueListPane pane(fixture.state);
        QVERIFY(showAt(pane, 420, 700));

        published.setSourceFilter(ReviewSource::gmail);
        settle();
        QVERIFY(pressEmptyStateButton(pane, "Open Accounts"));
        QCOMPARE(fixture.state.state().section, Section::accounts);
        QVERIFY(fixture.state.calls.empty());

        published.setSection(Section::queue);
        published.setSourceFilter(ReviewSource::messages);
        published.setSnapshots({});
        published.setMessagesPermission(MessagesPermission::denied);
        settle();
        QVERIFY(pressEmptyStateButton(pane, "Open Messages Folder"));
        QVERIFY(pressEmptyStateButton(pane, "Check Again"));
        published.setMessagesPermission(MessagesPermission::granted);
        settle();
        QVERIFY(pressEmptyStateButton(pane, "Refresh Messages"));
        published.setSourceFilter(std::nullopt);
        settle();
        QVERIFY(pressEmptyStateButton(pane, "Refresh connected sources"));
        const std::string combinedDays = std::to_string(toRaw(fixture.state.state().refreshLookbacks.combined));
        QCOMPARE(
            fixture.state.calls,
            (std::vector<std::string>{
                "openFullDiskAccess()", "recheckMessagesPermission()",
                "refresh(messages, " + std::to_string(toRaw(fixture.state.state().refreshLookbacks.messages)) + ")",
                "refreshAll(" + combinedDays + ")"}));
    }

    void controlsFollowTheSourceFilterAndRunningRefreshes() {
        ScreenFixture fixture("ready");
        QueueListPane pane(fixture.state);
        StatePublisher& published = fixture.state.published();
        auto* toggle = child<QCheckBox>(pane, "contactsOnlyToggle");
        auto* sort = child<QComboBox>(pane, "sortPicker");
        auto* lookback = child<QComboBox>(pane, "lookbackPicker");
        auto* status = child<QComboBox>(pane, "statusPicker");
        auto* refresh = child<QPushButton>(pane, "refreshButton");
        QVERIFY(!toggle->isHidden() && toggle->isEnabled());
        QVERIFY(toggle->toolTip().contains("the latest sender is in Contacts"));

        published.setContactsPermission(ContactsPermission::limited);
        settle();
        QVERIFY(toggle->toolTip().contains("among the contacts shared with Nudgerly"));

        published.setSourceFilter(ReviewSource::gmail);
        settle();
        QVERIFY(toggle->isHidden());
        QCOMPARE(refresh->text(), "Refresh Gmail");

        // Messages refreshing, Gmail shown: Gmail's view is idle, yet the Messages toggle is absent.
        published.insertRefreshingSource(ReviewSource::messages);
        settle();
        QVERIFY(sort->isEnabled() && lookback->isEnabled());
        QCOMPARE(refresh->property("symbol").toString(), "arrow.clockwise");

        // The combined view refreshes: sort and lookback wait, the status, search and title stay.
        published.setSourceFilter(std::nullopt);
        settle();
        QVERIFY(!toggle->isHidden() && !toggle->isEnabled());
        QVERIFY(!sort->isEnabled() && !lookback->isEnabled());
        QVERIFY(status->isEnabled() && child<QLineEdit>(pane, "searchField")->isEnabled());
        QCOMPARE(refresh->text(), "Refresh All");
        QCOMPARE(refresh->accessibleName(), "Refreshing the queue");
        QVERIFY(refresh->property("busy").toBool());
        QCOMPARE(refresh->property("symbol").toString(), "");

        // Only Gmail refreshing in the Messages view: nothing there waits.
        published.setRefreshingSources({ReviewSource::gmail});
        published.setSourceFilter(ReviewSource::messages);
        settle();
        QVERIFY(toggle->isEnabled() && sort->isEnabled());
        QCOMPARE(refresh->accessibleName(), "Refresh Messages");
    }

    void oneBannerPerRunningRefreshOfTheShownSources() {
        ScreenFixture fixture("refreshing");
        QueueListPane pane(fixture.state);
        auto* messages = child<RefreshBanner>(pane, "refreshBannermessages");
        auto* gmail = child<RefreshBanner>(pane, "refreshBannergmail");
        QVERIFY(!messages->isHidden() && !gmail->isHidden());
        QCOMPARE(messages->progress().completed, std::optional<int64_t>(12));

        fixture.state.published().setSourceFilter(ReviewSource::gmail);
        settle();
        QVERIFY(messages->isHidden() && !gmail->isHidden());
        fixture.state.published().setCompletionScope(QueueCompletionScope::completed);
        settle();
        QVERIFY(gmail->isHidden());
    }

    void typingWritesTheSearchAtOnceAndKeepsFocusAndCursor() {
        ScreenFixture fixture("ready");
        QueueListPane pane(fixture.state);
        pane.resize(420, 700);
        pane.show();
        QApplication::setActiveWindow(&pane);
        QVERIFY(QTest::qWaitForWindowActive(&pane));
        auto* search = child<QLineEdit>(pane, "searchField");
        search->setFocus();
        QTest::keyClick(search, Qt::Key_M);
        QCOMPARE(fixture.state.state().search, "m");
        QTest::keyClicks(search, "aya");
        QCOMPARE(fixture.state.state().search, "maya");
        settle();
        QCOMPARE(child<ElidedLabel>(pane, "queueCount")->text(), "1");

        search->setCursorPosition(2);
        fixture.state.lines().showActivity("Refreshed");
        fixture.state.published().setCompleted({});
        settle();
        QVERIFY(search->hasFocus());
        QCOMPARE(search->cursorPosition(), 2);
        QCOMPARE(search->text(), "maya");

        // A search cleared elsewhere shows, without writing back.
        fixture.state.published().setSearch("");
        settle();
        QCOMPARE(search->text(), "");
        QVERIFY(fixture.state.calls.empty());
    }

    void choosingCallsItsOperationOnceAndSyncingCallsNothing() {
        ScreenFixture fixture("ready");
        QueueListPane pane(fixture.state);
        QTest::keyClick(child<QComboBox>(pane, "sortPicker"), Qt::Key_Down);
        QTest::keyClick(child<QComboBox>(pane, "lookbackPicker"), Qt::Key_Down);
        QTest::mouseClick(child<QCheckBox>(pane, "contactsOnlyToggle"), Qt::LeftButton);
        QCOMPARE(fixture.state.calls,
                 (std::vector<std::string>{"setQueueSort(newest)", "setLookback(60)", "setContactsOnly(true)"}));
        QTest::keyClick(child<QComboBox>(pane, "statusPicker"), Qt::Key_Down);
        QCOMPARE(fixture.state.state().statusFilter, std::optional(ReviewStatus::reply));

        // The state moves the other way: the controls follow and call nothing.
        fixture.state.calls.clear();
        StatePublisher& published = fixture.state.published();
        published.setQueueSort(QueueSort::type);
        published.setRefreshLookbacks({LookbackWindow::three, LookbackWindow::seven, LookbackWindow::seven});
        published.setContactsOnly(false);
        published.setStatusFilter(std::nullopt);
        settle();
        QCOMPARE(child<QComboBox>(pane, "sortPicker")->currentText(), "Action type");
        QCOMPARE(child<QComboBox>(pane, "lookbackPicker")->currentText(), "3 days");
        QCOMPARE(child<QComboBox>(pane, "statusPicker")->currentText(), "All statuses");
        QVERIFY(!child<QCheckBox>(pane, "contactsOnlyToggle")->isChecked());
        QVERIFY(fixture.state.calls.empty());

        QTest::mouseClick(child<QPushButton>(pane, "refreshButton"), Qt::LeftButton);
        QCOMPARE(fixture.state.calls, std::vector<std::string>{"refreshCurrentView()"});
    }

    void theListGroupsByStatusOrListsFlatWithBadges() {
        ScreenFixture fixture("ready");
        QueueListPane pane(fixture.state);
        const QueueListModel& model = pane.model();
        std::vector<ReviewStatus> headers;
        for (int row = 0; row < model.rowCount(); ++row) {
            if (!model.entry(row).item) {
                headers.push_back(model.entry(row).status);
                QVERIFY(!(model.flags(model.index(row)) & Qt::ItemIsSelectable));
            } else {
                QVERIFY(!rowPresentation(*model.entry(row).item, model.entry(row).showsStatus, model.now()).status);
            }
        }
        QCOMPARE(headers,
                 (std::vector<ReviewStatus>{ReviewStatus::reply, ReviewStatus::action, ReviewStatus::nudgerly}));
        QCOMPARE(model.data(model.index(0), Qt::DisplayRole).toString(), "REPLY 3");

        fixture.state.published().setQueueSort(QueueSort::newest);
        settle();
        QCOMPARE(model.rowCount(), static_cast<int>(fixture.state.visibleItems().size()));
        for (int row = 0; row < model.rowCount(); ++row) {
            QVERIFY(model.entry(row).item);
            QVERIFY(rowPresentation(*model.entry(row).item, model.entry(row).showsStatus, model.now()).status);
        }
    }

    void theContextMenuFollowsTheItem() {
        ScreenFixture fixture("ready");
        QueueListPane pane(fixture.state);
        ReviewItem item = fixture.state.visibleItems().front();
        item.draft = "Sure, see you then.";
        auto menu = pane.buildRowContextMenu(item);
        const std::vector<QString> full{item.source == ReviewSource::messages ? "Open in Messages" : "Open in Gmail",
                                        "Copy suggested reply", "---", "Mark completed"};
        QCOMPARE(menuTexts(*menu), full);
        QVERIFY(menuAction(*menu, "openAction")->isEnabled());
        QCOMPARE(menuAction(*menu, "openAction")->property("symbol").toString(), "arrow.up.forward.app");
        menuAction(*menu, "openAction")->trigger();
        menuAction(*menu, "copyDraftAction")->trigger();
        menuAction(*menu, "toggleCompletedAction")->trigger();
        QCOMPARE(fixture.state.calls, (std::vector<std::string>{"open(" + item.id + ")", "copyDraft(" + item.id + ")",
                                                                "toggleCompleted(" + item.id + ")"}));

        // An empty or blank suggestion has nothing to copy; no link disables opening.
        for (const char* blank : {"", " \n\u00A0"}) {
            item.draft = blank;
            item.openURL.reset();
            menu = pane.buildRowContextMenu(item);
            QVERIFY(!menuAction(*menu, "copyDraftAction"));
            QCOMPARE(menuTexts(*menu).size(), std::size_t{3});
            QVERIFY(!menuAction(*menu, "openAction")->isEnabled());
        }

        // No suggestion: no copy entry. Completed by its id when it has no completion key.
        item.draft.reset();
        item.completionKey.reset();
        fixture.state.published().setCompleted({item.id});
        menu = pane.buildRowContextMenu(item);
        QVERIFY(!menuAction(*menu, "copyDraftAction"));
        QCOMPARE(menuAction(*menu, "toggleCompletedAction")->text(), "Restore to queue");
        QCOMPARE(menuAction(*menu, "toggleCompletedAction")->property("symbol").toString(), "arrow.uturn.backward");
    }

    void selectionGoesBothWaysAndSurvivesAContentChange() {
        ScreenFixture fixture("basicMode");
        StatePublisher& published = fixture.state.published();
        showManyItems(published, fixture.clock.now());
        QueueListPane pane(fixture.state);
        QVERIFY(showAt(pane, 420, 600));
        auto* list = child<QListView>(pane, "queueList");
        const QueueListModel& model = pane.model();

        // A click selects, and the state hears the id.
        const QRect third = list->visualRect(model.index(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center());
        QCOMPARE(fixture.state.state().selectedItemID, model.entry(2).item->id);

        // The state selects a row far down: it is selected and scrolled into view.
        const int far = model.rowCount() - 2;
        published.setSelectedItemID(model.entry(far).item->id);
        settle();
        QVERIFY(list->selectionModel()->isSelected(model.index(far)));
        QVERIFY(list->viewport()->rect().intersects(list->visualRect(model.index(far))));
        const int scrolled = list->verticalScrollBar()->value();
        QVERIFY(scrolled > 0);

        // New content for the same items: no reset, the selection and the scroll position stay.
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        published.setSnapshot(ReviewSource::messages,
                              fixtureSnapshot(ReviewSource::messages, fixture.clock.now(),
                                              manyItems(fixture.clock.now(), "A newer summary of the same question")));
        published.setRefreshProgress(ReviewSource::messages,
                                     {.source = ReviewSource::messages, .detail = "Classifying"});
        settle();
        QCOMPARE(resets.size(), 0);
        QVERIFY(changes.size() > 0);
        QVERIFY(list->selectionModel()->isSelected(model.index(far)));
        QCOMPARE(list->verticalScrollBar()->value(), scrolled);
        QVERIFY(fixture.state.calls.empty());

        // A different list resets; the selected item keeps its selection wherever it lands.
        published.setQueueSort(QueueSort::oldest);
        settle();
        QCOMPARE(resets.size(), 1);
        const int moved = model.rowOfItem(*fixture.state.state().selectedItemID);
        QVERIFY(list->selectionModel()->isSelected(model.index(moved)));
    }

    void rowHeightsAreMeasuredOnceUntilTheRowOrWidthChanges() {
        ScreenFixture fixture("basicMode");
        StatePublisher& published = fixture.state.published();
        showManyItems(published, fixture.clock.now());
        QueueListPane pane(fixture.state);
        QVERIFY(showAt(pane, 420, 600));
        auto* list = child<QListView>(pane, "queueList");
        const auto& delegate = *qobject_cast<QueueRowDelegate*>(list->itemDelegate());
        // Once per row at each width the list was laid out at (the scroll bar's arrival narrows it).
        const int first = delegate.computedHeights();
        QVERIFY(first >= 60);

        // Another order and a search that narrows the list: the same items, nothing measured again.
        published.setQueueSort(QueueSort::oldest);
        settle();
        published.setSearch("Person 1");
        settle();
        list->viewport()->repaint();
        QCOMPARE(delegate.computedHeights(), first);

        // One summary grows to two lines: that row alone is measured again, and it grows.
        published.setSearch("");
        std::vector<ReviewItem> items = manyItems(fixture.clock.now());
        const int before = list->visualRect(pane.model().index(pane.model().rowOfItem("many-5"))).height();
        items[5].summary = std::string(400, 'w') + " and more words that cannot fit on one line";
        published.setSnapshot(ReviewSource::messages,
                              fixtureSnapshot(ReviewSource::messages, fixture.clock.now(), items));
        settle();
        QTRY_COMPARE(delegate.computedHeights(), first + 1);  // at the view's delayed layout
        QVERIFY(list->visualRect(pane.model().index(pane.model().rowOfItem("many-5"))).height() > before);

        // A new width measures every row again.
        pane.resize(360, 600);
        QTRY_COMPARE(delegate.computedHeights(), first + 1 + 60);  // the list lays out a while after a resize
    }

    void rowsAtTheSamePlaceOfTwoSnapshotsKeepTheirOwnHeights() {
        ScreenFixture fixture("basicMode");
        StatePublisher& published = fixture.state.published();
        const Date now = fixture.clock.now();
        // The first item of each snapshot: a one-line summary in Messages, a two-line one in Gmail.
        std::string longSummary(300, 'w');
        longSummary += " and more words past the edge";
        std::vector<ReviewItem> mail = manyItems(now, longSummary);
        for (ReviewItem& item : mail) {
            item.id = "mail-" + item.id;
            item.source = ReviewSource::gmail;
        }
        published.setQueueSort(QueueSort::newest);
        published.setSnapshot(ReviewSource::messages, fixtureSnapshot(ReviewSource::messages, now, manyItems(now)));
        published.setSnapshot(ReviewSource::gmail, fixtureSnapshot(ReviewSource::gmail, now, mail));
        QueueListPane pane(fixture.state);
        QVERIFY(showAt(pane, 420, 600));
        auto* list = child<QListView>(pane, "queueList");
        const QueueListModel& model = pane.model();
        const auto height = [&](const std::string& id) {
            return list->visualRect(model.index(model.rowOfItem(id))).height();
        };
        const int shortRow = height("many-0");
        const int longRow = height("mail-many-0");
        QVERIFY(longRow > shortRow);

        // Grouped by status, the rows lose their status badges: laid out again, as a new pane lays them out.
        published.setQueueSort(QueueSort::priority);
        settle();
        QueueListPane fresh(fixture.state);
        QVERIFY(showAt(fresh, 420, 600));
        auto* freshList = child<QListView>(fresh, "queueList");
        for (const std::string id : {"many-0", "mail-many-0"}) {
            QCOMPARE(height(id), freshList->visualRect(fresh.model().index(fresh.model().rowOfItem(id))).height());
        }
        published.setQueueSort(QueueSort::newest);
        settle();
        QCOMPARE(height("many-0"), shortRow);
        QCOMPARE(height("mail-many-0"), longRow);
    }

    void aHeaderClickLeavesTheSelectionAlone() {
        ScreenFixture fixture("ready");
        QueueListPane pane(fixture.state);
        QVERIFY(showAt(pane, 420, 700));
        auto* list = child<QListView>(pane, "queueList");
        const QueueListModel& model = pane.model();
        QVERIFY(!model.entry(0).item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(model.index(0)).center());
        QCOMPARE(fixture.state.state().selectedItemID, std::nullopt);

        // A row chosen, then a status header clicked: the row stays chosen, here and in the state.
        const QRect second = list->visualRect(model.index(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
        const std::string chosen = model.entry(2).item->id;
        QCOMPARE(fixture.state.state().selectedItemID, chosen);
        for (int row = 0; row < model.rowCount(); ++row) {
            if (!model.entry(row).item) {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(model.index(row)).center());
                settle();
                QCOMPARE(fixture.state.state().selectedItemID, chosen);
                QVERIFY(list->selectionModel()->isSelected(model.index(2)));
            }
        }

        // The arrow keys pass over a header to the next row.
        int header = 1;
        while (model.entry(header).item) {
            ++header;
        }
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(model.index(header - 1)).center());
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(fixture.state.state().selectedItemID, model.entry(header + 1).item->id);
    }

    void aNarrowPaneStacksItsRows() {
        ScreenFixture fixture("ready");
        QueueListPane pane(fixture.state);
        QVERIFY(showAt(pane, 900, 700));
        const FirstFitLayout& filters = pane.filterLayout();
        std::vector<int> arrangements;
        for (int width = 900; width >= 200; width -= 20) {
            pane.resize(width, 700);
            QCoreApplication::processEvents();
            if (arrangements.empty() || arrangements.back() != filters.currentArrangement()) {
                arrangements.push_back(filters.currentArrangement());
            }
        }
        QCOMPARE(arrangements, (std::vector<int>{0, 1, 2}));

        // Without the toggle (Gmail's view) the one-row arrangement fits narrower.
        pane.resize(460, 700);
        QCoreApplication::processEvents();
        QCOMPARE(filters.currentArrangement(), 1);
        fixture.state.published().setSourceFilter(ReviewSource::gmail);
        settle();
        QCoreApplication::processEvents();
        QCOMPARE(filters.currentArrangement(), 0);

        // The refresh row stacks once the button and the label no longer fit side by side.
        const FirstFitLayout& refreshRow = pane.refreshRowLayout();
        const int sideBySide = child<QPushButton>(pane, "refreshButton")->sizeHint().width() + 10 +
                               child<QWidget>(pane, "lastRefreshLabel")->sizeHint().width();
        QCOMPARE(refreshRow.arrangementForWidth(sideBySide), 0);
        QCOMPARE(refreshRow.arrangementForWidth(sideBySide - 1), 1);
    }
};

NUDGERLY_UI_TEST(QueueListPaneTests);

}  // namespace nudgerly::test

#include "QueueListPaneTests.moc"
