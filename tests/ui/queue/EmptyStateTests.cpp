#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/WrapLabel.h"
#include "ui/queue/EmptyState.h"
#include "ui/shared/PanePlaceholder.h"

namespace nudgerly::test {
namespace {

using namespace EmptyStateActions;

}  // namespace

class EmptyStateTests : public QObject {
    Q_OBJECT

private slots:
    void theFirstScanNoteShowsOnlyWhileTheViewsFirstRefreshRuns() {
        ScreenFixture fixture("firstScan");
        StatePublisher& published = fixture.state.published();
        EmptyStateSpec details = decideEmptyState(fixture.state);
        QCOMPARE(details,
                 (EmptyStateSpec{.kind = EmptyStateKind::initialRefresh,
                                 .title = "Building your follow-up queue",
                                 .description = "Results will appear here as soon as the first scan finishes."}));

        published.setSourceFilter(ReviewSource::messages);
        QCOMPARE(decideEmptyState(fixture.state).title, "Building your Messages queue");

        // Gmail does not refresh, so its view shows no note.
        published.setSourceFilter(ReviewSource::gmail);
        QCOMPARE(decideEmptyState(fixture.state).kind, EmptyStateKind::unscanned);

        // Once Messages has a saved queue, the running refresh no longer reads as a first scan.
        published.setSourceFilter(ReviewSource::messages);
        published.setSnapshot(ReviewSource::messages, fixtureSnapshot(ReviewSource::messages, fixture.clock.now(), {}));
        QCOMPARE(decideEmptyState(fixture.state).kind, EmptyStateKind::caughtUp);

        // The completed view shows no progress, so never the note.
        published.setSourceFilter(std::nullopt);
        published.setSnapshots({});
        published.setCompletionScope(QueueCompletionScope::completed);
        QCOMPARE(decideEmptyState(fixture.state),
                 (EmptyStateSpec{.kind = EmptyStateKind::nothingCompleted,
                                 .title = "Nothing completed yet",
                                 .symbol = "checkmark.circle",
                                 .description = "Items you mark completed will appear here."}));
    }

    void anUnscannedSourceOffersItsNextStep() {
        ScreenFixture fixture("basicMode");
        StatePublisher& published = fixture.state.published();

        // Gmail, not connected: to the accounts page, and nothing else.
        published.setSourceFilter(ReviewSource::gmail);
        EmptyStateSpec details = decideEmptyState(fixture.state);
        QCOMPARE(details.kind, EmptyStateKind::unscanned);
        QCOMPARE(details.title, "Gmail hasn\u2019t been scanned");
        QCOMPARE(details.symbol, "envelope.badge");
        QCOMPARE(details.description, "Connect Gmail before running its first scan.");
        QCOMPARE(
            details.buttons,
            (std::vector<EmptyStateButton>{{.text = "Open Accounts", .prominent = true, .action = OpenAccounts{}}}));
        performEmptyStateAction(details.buttons[0].action, fixture.state);
        QCOMPARE(fixture.state.state().section, Section::accounts);
        QVERIFY(fixture.state.calls.empty());

        // Gmail connected: a refresh over Gmail's own lookback, named in the text.
        published.setGmailStatus({.configured = true, .connected = true});
        published.setRefreshLookbacks({LookbackWindow::thirty, LookbackWindow::seven, LookbackWindow::sixty});
        details = decideEmptyState(fixture.state);
        QCOMPARE(details.description, "Run a 60 days refresh to create the first saved snapshot.");
        QCOMPARE(
            details.buttons,
            (std::vector<EmptyStateButton>{{.text = "Refresh Gmail",
                                            .prominent = true,
                                            .action = RefreshSource{ReviewSource::gmail, LookbackWindow::sixty}}}));

        // Messages without its database: open the folder it goes in, or check again.
        published.setSourceFilter(ReviewSource::messages);
        published.setSnapshots({});
        published.setMessagesPermission(MessagesPermission::denied);
        details = decideEmptyState(fixture.state);
        QCOMPARE(details.title, "Messages hasn\u2019t been scanned");
        QCOMPARE(details.symbol, "message.badge");
        QCOMPARE(details.description,
                 "Put the Messages database from a Mac at ~/Library/Messages/chat.db, then check again.");
        QCOMPARE(details.buttons,
                 (std::vector<EmptyStateButton>{
                     {.text = "Open Messages Folder", .prominent = true, .action = OpenFullDiskAccess{}},
                     {.text = "Check Again", .prominent = false, .action = CheckAgain{}}}));
        for (const EmptyStateButton& button : details.buttons) {
            performEmptyStateAction(button.action, fixture.state);
        }
        QCOMPARE(fixture.state.calls,
                 (std::vector<std::string>{"openFullDiskAccess()", "recheckMessagesPermission()"}));

        // Messages readable: a 7-day refresh, disabled while Messages refreshes.
        published.setMessagesPermission(MessagesPermission::granted);
        details = decideEmptyState(fixture.state);
        QCOMPARE(details.description, "Run a 7 days refresh to create the first saved snapshot.");
        QCOMPARE(
            details.buttons,
            (std::vector<EmptyStateButton>{{.text = "Refresh Messages",
                                            .prominent = true,
                                            .action = RefreshSource{ReviewSource::messages, LookbackWindow::seven}}}));
        fixture.state.calls.clear();
        performEmptyStateAction(details.buttons[0].action, fixture.state);
        QCOMPARE(fixture.state.calls, std::vector<std::string>{"refresh(messages, 7)"});
        published.insertRefreshingSource(ReviewSource::messages);
        QVERIFY(!decideEmptyState(fixture.state).buttons[0].enabled);
    }

    void anUnscannedSourceComesBeforeTheCompletedView() {
        ScreenFixture fixture("basicMode");
        fixture.state.published().setSourceFilter(ReviewSource::gmail);
        fixture.state.published().setCompletionScope(QueueCompletionScope::completed);
        QCOMPARE(decideEmptyState(fixture.state).kind, EmptyStateKind::unscanned);
    }

    void nothingScannedOffersARefreshOnlyWhenASourceIsUsable() {
        ScreenFixture fixture("nothingScanned");
        StatePublisher& published = fixture.state.published();
        published.setRefreshLookbacks({LookbackWindow::ninety, LookbackWindow::seven, LookbackWindow::seven});
        EmptyStateSpec details = decideEmptyState(fixture.state);
        QCOMPARE(details.kind, EmptyStateKind::nothingScanned);
        QCOMPARE(details.title, "No conversations scanned yet");
        QCOMPARE(details.symbol, "tray");
        QCOMPARE(details.description, "Refresh your connected sources to create the first saved queue.");
        QCOMPARE(details.buttons, (std::vector<EmptyStateButton>{{.text = "Refresh connected sources",
                                                                  .prominent = true,
                                                                  .action = RefreshAll{LookbackWindow::ninety}}}));
        performEmptyStateAction(details.buttons[0].action, fixture.state);
        QCOMPARE(fixture.state.calls, std::vector<std::string>{"refreshAll(90)"});

        // Gmail alone is enough; a running refresh of either source disables the button.
        published.setMessagesPermission(MessagesPermission::denied);
        published.setGmailStatus({.configured = true, .connected = true});
        published.insertRefreshingSource(ReviewSource::gmail);
        details = decideEmptyState(fixture.state);
        QCOMPARE(details.description, "Refresh your connected sources to create the first saved queue.");
        QVERIFY(!details.buttons.at(0).enabled);

        published.setRefreshingSources({});
        published.setGmailStatus({.configured = true, .connected = false});
        details = decideEmptyState(fixture.state);
        QCOMPARE(details.description, "Set up Messages or Gmail, then refresh to create the first saved queue.");
        QCOMPARE(
            details.buttons,
            (std::vector<EmptyStateButton>{{.text = "Open Accounts", .prominent = true, .action = OpenAccounts{}}}));
    }

    void hiddenOpenItemsReadAsNoMatchesAndNoneAsCaughtUp() {
        ScreenFixture fixture("ready");
        StatePublisher& published = fixture.state.published();
        published.setSearch("nothing is called this");
        QCOMPARE(decideEmptyState(fixture.state),
                 (EmptyStateSpec{.kind = EmptyStateKind::noMatches,
                                 .title = "No matching conversations",
                                 .symbol = "line.3.horizontal.decrease.circle",
                                 .description = "Try changing the status, lookback, Contacts filter, or search."}));

        published.setSearch("");
        published.setCompleted(everyCompletionIdentity(published.state()));
        QCOMPARE(decideEmptyState(fixture.state),
                 (EmptyStateSpec{.kind = EmptyStateKind::caughtUp,
                                 .title = "You\u2019re caught up",
                                 .symbol = "checkmark.circle",
                                 .description = "No open follow-ups were found for this view."}));

        // A source's own view names its last scan, with grouped numbers.
        published.setSourceFilter(ReviewSource::messages);
        QCOMPARE(decideEmptyState(fixture.state).description,
                 "The last scan reviewed 1,234 messages across 56 conversations and found no open follow-ups.");
    }

    void thePlaceholderShowsASpecAndReportsItsButtons() {
        PanePlaceholder placeholder;
        QSignalSpy pressed(&placeholder, &PanePlaceholder::actionTriggered);
        placeholder.apply({.kind = EmptyStateKind::unscanned,
                           .title = "Messages <b>hasn’t</b> been scanned",
                           .symbol = "message.badge",
                           .description = "Grant access.",
                           .buttons = {{.text = "Open & go", .prominent = true, .action = OpenFullDiskAccess{}},
                                       {.text = "Check Again", .enabled = false, .action = CheckAgain{}}}});
        const auto buttons = placeholder.findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 2);
        QCOMPARE(buttons[0]->text(), "Open && go");
        QVERIFY(buttons[0]->property("prominent").toBool());
        QVERIFY(!buttons[1]->property("prominent").toBool());
        QVERIFY(!buttons[1]->isEnabled());
        QCOMPARE(placeholder.findChild<WrapLabel*>("placeholderTitle")->textFormat(), Qt::PlainText);
        QCOMPARE(placeholder.findChild<SymbolView*>("placeholderSymbol")->property("symbol").toString(),
                 "message.badge");

        QTest::mouseClick(buttons[0], Qt::LeftButton);
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(pressed[0][0].value<EmptyStateAction>(), EmptyStateAction{OpenFullDiskAccess{}});

        // The same widgets serve the next details: the first button now runs the new action, the second hides.
        placeholder.apply({.title = "Gmail",
                           .symbol = "envelope.badge",
                           .buttons = {{.text = "Refresh Gmail",
                                        .action = RefreshSource{ReviewSource::gmail, LookbackWindow::seven}}}});
        QCOMPARE(placeholder.findChildren<QPushButton*>(), buttons);
        QVERIFY(buttons[1]->isHidden());
        QTest::mouseClick(buttons[0], Qt::LeftButton);
        QCOMPARE(pressed[1][0].value<EmptyStateAction>(),
                 (EmptyStateAction{RefreshSource{ReviewSource::gmail, LookbackWindow::seven}}));

        // The first-scan note has neither symbol nor buttons.
        placeholder.apply({.kind = EmptyStateKind::initialRefresh, .title = "Building your follow-up queue"});
        QVERIFY(placeholder.findChild<SymbolView*>("placeholderSymbol")->isHidden());
        QVERIFY(buttons[0]->isHidden());
    }
};

NUDGERLY_UI_TEST(EmptyStateTests);

}  // namespace nudgerly::test

#include "EmptyStateTests.moc"
