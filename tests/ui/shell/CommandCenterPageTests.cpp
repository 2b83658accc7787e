#include <QTest>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/detail/ConversationDetailPane.h"
#include "ui/shell/CommandCenterPage.h"

namespace nudgerly::test {
namespace {

// The ready state without one of its Messages items.
PublishedState readyWithout(std::string_view id) {
    PublishedState state = stateFixture("ready");
    auto snapshot = std::make_shared<ReviewSnapshot>(*state.snapshots.at(ReviewSource::messages));
    std::erase_if(snapshot->items, [&](const ReviewItem& item) { return item.id == id; });
    state.snapshots[ReviewSource::messages] = std::move(snapshot);
    return state;
}

}  // namespace

class CommandCenterPageTests : public QObject {
    Q_OBJECT

private slots:
    void theListTakesFortyFourPercentBetween360And500() {
        QCOMPARE(listPaneWidth(700), 360.0);  // 308 is raised to the minimum
        QCOMPARE(listPaneWidth(1000), 440.0);
        QCOMPARE(listPaneWidth(1200), 500.0);
        QCOMPARE(listPaneWidth(2400), 500.0);
        QCOMPARE(listPaneWidth(0), 360.0);

        ScreenFixture screen("ready");
        CommandCenterPage page(screen.state);
        page.resize(1000, 600);
        page.show();
        QCoreApplication::processEvents();
        auto* list = page.findChild<QWidget*>("queueListPane");
        QCOMPARE(list->width(), 440);
        page.resize(700, 600);
        QCoreApplication::processEvents();
        QCOMPARE(list->width(), 360);
        QCOMPARE(page.findChild<ConversationDetailPane*>("detailPane")->width(), 700 - 360 - 1);  // past the divider
    }

    void theSelectionIsReconciledWhenShownAndWhenTheVisibleIdsChange() {
        ScreenFixture screen("ready");
        CommandCenterPage page(screen.state);
        page.resize(1000, 600);
        QCoreApplication::processEvents();
        QVERIFY(screen.state.calls.empty());  // built, not yet shown
        page.show();
        QCoreApplication::processEvents();
        QCOMPARE(screen.state.calls, std::vector<std::string>{"reconcileSelection()"});

        // A change inside an item, or outside the queue, keeps the ids as they were.
        screen.state.calls.clear();
        screen.state.published().replaceAll(withSelectedItem(stateFixture("ready"), ReviewSource::messages,
                                                             "messages-maya",
                                                             [](ReviewItem& item) { item.summary = "Changed"; }));
        screen.state.lines().showActivity("Classifying conversations");
        QCoreApplication::processEvents();
        QVERIFY(screen.state.calls.empty());

        // An item leaving the queue, or the order changing, does reconcile.
        screen.state.published().replaceAll(readyWithout("messages-maya"));
        QCoreApplication::processEvents();
        QCOMPARE(screen.state.calls, std::vector<std::string>{"reconcileSelection()"});
        screen.state.published().setQueueSort(QueueSort::oldest);
        QCoreApplication::processEvents();
        QCOMPARE(screen.state.calls.size(), 2u);

        // A hidden page leaves it to its next showing.
        page.hide();
        screen.state.published().replaceAll(stateFixture("ready"));
        QCoreApplication::processEvents();
        QCOMPARE(screen.state.calls.size(), 2u);
        page.show();
        QCoreApplication::processEvents();
        QCOMPARE(screen.state.calls.size(), 3u);
    }
};

NUDGERLY_UI_TEST(CommandCenterPageTests);

}  // namespace nudgerly::test

#include "CommandCenterPageTests.moc"
