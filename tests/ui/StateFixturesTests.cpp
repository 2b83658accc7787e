#include <set>

#include <QTest>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"

namespace nudgerly::test {

// The named states are shared by every screen test and the screenshot tool: they must build, and the
// ones screens rely on must say what their names promise.
class StateFixturesTests : public QObject {
    Q_OBJECT

private slots:
    void everyNamedStateBuildsUnderAUniqueName() {
        std::set<std::string> names;
        for (const StateFixture& fixture : stateFixtures()) {
            QVERIFY2(names.insert(fixture.name).second, fixture.name.c_str());
            QVERIFY(!fixture.description.empty());
            ScreenFixture screen(fixture.name);
            QCOMPARE(screen.state.state().selectedModelPack.identifier.empty(), false);
        }
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, stateFixture("noSuchState"));
    }

    void theStatesShowWhatTheirNamesSay() {
        ScreenFixture screen("ready");
        QCOMPARE(screen.state.visibleItems().size(), 7u);  // one of the eight is completed
        QCOMPARE(screen.state.completedQueueCount(), 1);

        screen.show("refreshing");
        QCOMPARE(screen.state.visibleRefreshProgresses().size(), 2u);
        QVERIFY(screen.state.isRefreshingCurrentView());

        screen.show("firstRun");
        QVERIFY(screen.state.state().needsModelChoice);
        QVERIFY(screen.state.visibleItems().empty());

        screen.show("downloading");
        QCOMPARE(screen.state.state().modelDownloadState.kind, ModelDownloadState::Kind::downloading);
    }
};

NUDGERLY_UI_TEST(StateFixturesTests);

}  // namespace nudgerly::test

#include "StateFixturesTests.moc"
