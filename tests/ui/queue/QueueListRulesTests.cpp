#include <QTest>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/queue/QueueList.h"

namespace nudgerly::test {
namespace {

ReviewItem item(std::string id, ReviewStatus status) {
    return {.id = std::move(id), .status = status};
}

std::vector<std::string> ids(const std::vector<const ReviewItem*>& items) {
    std::vector<std::string> result;
    for (const ReviewItem* each : items) {
        result.push_back(each->id);
    }
    return result;
}

// The sections of `items` as the list shows them.
std::vector<QueueList::Section> sectionsOf(const std::vector<ReviewItem>& items) {
    std::vector<const ReviewItem*> pointers;
    for (const ReviewItem& each : items) {
        pointers.push_back(&each);
    }
    return QueueList::sectionsOf(QueueItems(std::move(pointers), {}));
}

}  // namespace

class QueueListRulesTests : public QObject {
    Q_OBJECT

private slots:
    void theSubtitleNamesTheOrderOrTheCompletedView() {
        PublishedState state;
        const std::vector<std::pair<QueueSort, std::string_view>> expected{
            {QueueSort::priority, "Highest priority first"},
            {QueueSort::newest, "Newest conversations first"},
            {QueueSort::oldest, "Stalest conversations first"},
            {QueueSort::type, "Grouped by action type"},
        };
        for (const auto& [sort, subtitle] : expected) {
            state.queueSort = sort;
            state.completionScope = QueueCompletionScope::open;
            QCOMPARE(QueueList::queueSubtitle(state), subtitle);
            QCOMPARE(QueueList::queueTitle(state), "Queue");
            state.completionScope = QueueCompletionScope::completed;
            QCOMPARE(QueueList::queueSubtitle(state), "Conversations you cleared");
            QCOMPARE(QueueList::queueTitle(state), "Completed");
        }
    }

    void theLastRefreshTextNamesBothSourcesOnlyInTheCombinedView() {
        ScreenFixture fixture("nothingScanned");
        QCOMPARE(QueueList::lastRefreshSummary(fixture.state), "Messages Never refreshed \u00B7 Gmail Never refreshed");

        fixture.show("basicMode");
        const std::string messages = fixture.state.lastRefreshLabel(ReviewSource::messages);
        QCOMPARE(QueueList::lastRefreshSummary(fixture.state),
                 "Messages " + messages + " \u00B7 Gmail Never refreshed");
        fixture.state.published().setSourceFilter(ReviewSource::messages);
        QCOMPARE(QueueList::lastRefreshSummary(fixture.state), "Last refreshed " + messages);
        fixture.state.published().setSourceFilter(ReviewSource::gmail);
        QCOMPARE(QueueList::lastRefreshSummary(fixture.state), "Never refreshed");
    }

    void theListIsGroupedWithoutAStatusFilterInPriorityOrTypeOrder() {
        PublishedState state;
        for (const QueueSort sort : allCases<QueueSort>()) {
            for (const auto scope : {QueueCompletionScope::open, QueueCompletionScope::completed}) {
                state.queueSort = sort;
                state.completionScope = scope;  // the completed view groups alike
                state.statusFilter.reset();
                QCOMPARE(QueueList::shouldGroupByStatus(state), sort == QueueSort::priority || sort == QueueSort::type);
                state.statusFilter = ReviewStatus::reply;
                QVERIFY(!QueueList::shouldGroupByStatus(state));
            }
        }
    }

    void sectionsFollowTheStatusOrderKeepTheListOrderAndSkipEmptyStatuses() {
        const std::vector<ReviewItem> items{item("a", ReviewStatus::nudgerly), item("b", ReviewStatus::reply),
                                            item("c", ReviewStatus::nudgerly), item("d", ReviewStatus::reply)};
        const auto sections = sectionsOf(items);
        QCOMPARE(sections.size(), 2u);
        QCOMPARE(sections[0].status, ReviewStatus::reply);
        QCOMPARE(ids(sections[0].items), (std::vector<std::string>{"b", "d"}));
        QCOMPARE(sections[1].status, ReviewStatus::nudgerly);
        QCOMPARE(ids(sections[1].items), (std::vector<std::string>{"a", "c"}));

        const auto onlyActions = sectionsOf({item("x", ReviewStatus::action)});
        QCOMPARE(onlyActions.size(), 1u);
        QCOMPARE(onlyActions[0].status, ReviewStatus::action);
        QVERIFY(sectionsOf({}).empty());
    }

    void namesAndCountsReadAsTheUserExpects() {
        QCOMPARE(QueueList::sortName(QueueSort::type), "Action type");
        QCOMPARE(QueueList::lookbackName(LookbackWindow::three), "3 days");
        QCOMPARE(QueueList::lookbackName(LookbackWindow::ninety), "90 days");
        QCOMPARE(QueueList::localizedCount(1234567), "1,234,567");
        QCOMPARE(QueueList::localizedCount(0), "0");
    }
};

NUDGERLY_UI_TEST(QueueListRulesTests);

}  // namespace nudgerly::test

#include "QueueListRulesTests.moc"
