#include <functional>

#include <QTest>

#include "platform/system/UserFolders.h"
#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/accounts/AccountRows.h"

namespace nudgerly::test {
namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}
QString text(const std::optional<std::string>& value) {
    return value ? text(*value) : QString();
}

// The named state with `change` on top.
void show(ScreenFixture& screen, std::string_view fixture, const std::function<void(PublishedState&)>& change) {
    PublishedState state = stateFixture(fixture, screen.clock.now());
    change(state);
    screen.state.published().replaceAll(std::move(state));
}

// Presses a row's button and returns what the state object was asked to do.
std::vector<std::string> press(ScreenFixture& screen, const std::function<void()>& action) {
    screen.state.calls.clear();
    action();
    return screen.state.calls;
}

using Calls = std::vector<std::string>;

}  // namespace

class AccountRowsTests : public QObject {
    Q_OBJECT

private slots:
    void contactsRowFollowsThePermission() {
        ScreenFixture screen("basicMode");
        const auto row = [&](ContactsPermission permission) {
            show(screen, "basicMode", [&](PublishedState& state) { state.contactsPermission = permission; });
            return contactsRowSpec(screen.state);
        };
        for (const auto permission : {ContactsPermission::notDetermined, ContactsPermission::granted,
                                      ContactsPermission::limited, ContactsPermission::denied}) {
            const PermissionRowSpec details = row(permission);
            QCOMPARE(text(details.icon), "person.crop.circle");
            QCOMPARE(text(details.title), "Contacts");
            QCOMPARE(text(details.stepLabel), "Contacts access \u00B7 Required");
            QVERIFY(details.primaryEnabled);
        }

        PermissionRowSpec details = row(ContactsPermission::notDetermined);
        QCOMPARE(text(details.detail), "Required to identify people and filter unknown Messages senders.");
        QVERIFY(!details.connected);
        QCOMPARE(text(details.primaryTitle), "Allow Contacts");
        QVERIFY(!details.secondaryTitle);
        QCOMPARE(press(screen, details.primary), Calls{"requestContacts()"});

        details = row(ContactsPermission::granted);
        QCOMPARE(text(details.detail), "Required contact access is available.");
        QVERIFY(details.connected && !details.primaryTitle && !details.secondaryTitle);

        details = row(ContactsPermission::limited);
        QCOMPARE(text(details.detail),
                 "Limited access is available. Unshared contacts are treated as unknown senders.");
        QVERIFY(details.connected && !details.primaryTitle && !details.secondaryTitle);

        details = row(ContactsPermission::denied);
        QCOMPARE(text(details.detail), "Required access was not granted. Enable Contacts to continue.");
        QVERIFY(!details.connected);
        QCOMPARE(text(details.primaryTitle), "Open Settings");
        QCOMPARE(text(details.secondaryTitle), "Check again");
        QCOMPARE(press(screen, details.primary), Calls{"openContactsSettings()"});
        QCOMPARE(press(screen, details.secondary), Calls{"reconcileContactsPermission(true)"});
    }

    void messagesRowFollowsTheDatabase() {
        ScreenFixture screen("basicMode");
        show(screen, "basicMode", [](PublishedState& state) { state.messagesPermission = MessagesPermission::denied; });
        PermissionRowSpec details = messagesRowSpec(screen.state);
        QCOMPARE(text(details.icon), "message.fill");
        QCOMPARE(text(details.detail),
                 "Nudgerly reads the Messages database copied from a Mac. Put it at "
                 "~/Library/Messages/chat.db, then check again.");
        QCOMPARE(text(details.primaryTitle), "Open Messages Folder");
        QVERIFY(!details.connected && details.primaryEnabled && !details.stepLabel);
        QCOMPARE(press(screen, details.primary), Calls{"openFullDiskAccess()"});
        QCOMPARE(press(screen, details.secondary), Calls{"recheckMessagesPermission()"});

        show(screen, "basicMode", [](PublishedState& state) {
            state.refreshLookbacks = {LookbackWindow::three, LookbackWindow::sixty, LookbackWindow::ninety};
        });
        details = messagesRowSpec(screen.state);
        QCOMPARE(text(details.detail),
                 "Messages database found \u00B7 " + text(screen.state.lastRefreshLabel(ReviewSource::messages)));
        QVERIFY(details.connected && details.primaryEnabled && !details.secondaryTitle);
        QCOMPARE(text(details.primaryTitle), "Refresh");
        QCOMPARE(press(screen, details.primary), Calls{"refresh(messages, 60)"});  // the Messages window's days
    }

    void sourceRefreshFailsAtEachTestInTurn_data() {
        QTest::addColumn<int>("failing");
        QTest::newRow("all pass") << -1;
        QTest::newRow("contacts not determined") << 0;
        QTest::newRow("contacts denied") << 1;
        QTest::newRow("model choice needed") << 2;
        QTest::newRow("source refreshing") << 3;
        QTest::newRow("switching model") << 4;
        QTest::newRow("removing model") << 5;
    }

    void sourceRefreshFailsAtEachTestInTurn() {
        QFETCH(int, failing);
        const std::vector<std::function<void(PublishedState&, ReviewSource)>> failures{
            [](PublishedState& s, ReviewSource) { s.contactsPermission = ContactsPermission::notDetermined; },
            [](PublishedState& s, ReviewSource) { s.contactsPermission = ContactsPermission::denied; },
            [](PublishedState& s, ReviewSource) { s.needsModelChoice = true; },
            [](PublishedState& s, ReviewSource source) { s.refreshingSources = {source}; },
            [](PublishedState& s, ReviewSource) { s.isSwitchingModel = true; },
            [](PublishedState& s, ReviewSource) { s.isRemovingModel = true; },
        };
        ScreenFixture screen;
        for (const ReviewSource source : {ReviewSource::messages, ReviewSource::gmail}) {
            show(screen, "ready", [&](PublishedState& state) {
                state.contactsPermission = ContactsPermission::limited;  // limited access is usable too
                if (failing >= 0) {
                    failures[static_cast<std::size_t>(failing)](state, source);
                }
            });
            QCOMPARE(canRefreshSource(screen.state.state(), source), failing < 0);
            const PermissionRowSpec details =
                source == ReviewSource::messages ? messagesRowSpec(screen.state) : gmailRowSpec(screen.state, {});
            QCOMPARE(text(details.primaryTitle), "Refresh");
            QCOMPARE(details.primaryEnabled, failing < 0);
        }
    }

    void oneSourceRefreshingLeavesTheOtherRefreshable() {
        ScreenFixture screen;
        show(screen, "ready", [](PublishedState& state) { state.refreshingSources = {ReviewSource::messages}; });
        QVERIFY(!messagesRowSpec(screen.state).primaryEnabled);
        QVERIFY(gmailRowSpec(screen.state, {}).primaryEnabled);
        show(screen, "ready", [](PublishedState& state) { state.refreshingSources = {ReviewSource::gmail}; });
        QVERIFY(messagesRowSpec(screen.state).primaryEnabled);
        QVERIFY(!gmailRowSpec(screen.state, {}).primaryEnabled);
    }

    void gmailRowTakesTheFirstMatchingState() {
        ScreenFixture screen;
        int guides = 0;
        const auto row = [&](const std::function<void(PublishedState&)>& change) {
            show(screen, "ready", change);
            return gmailRowSpec(screen.state, [&guides] { ++guides; });
        };

        // 1. Connected wins over everything, with the address or a stand-in for it.
        PermissionRowSpec details = row([](PublishedState& state) {
            state.isDisconnectingGmail = true;
            state.gmailAuthorizationInProgress = true;
            state.refreshLookbacks.gmail = LookbackWindow::three;
        });
        const QString lastRefresh = text(screen.state.lastRefreshLabel(ReviewSource::gmail));
        QCOMPARE(text(details.icon), "envelope.fill");
        QCOMPARE(text(details.title), "Gmail");
        QVERIFY(!details.stepLabel);
        QCOMPARE(text(details.detail), "sam.rivera@example.com \u00B7 " + lastRefresh);
        QVERIFY(details.connected);
        QCOMPARE(text(details.primaryTitle), "Refresh");
        QCOMPARE(text(details.secondaryTitle), "Disconnect");
        QCOMPARE(press(screen, details.primary), Calls{"refresh(gmail, 3)"});
        QCOMPARE(press(screen, details.secondary), Calls{"disconnectGmail()"});
        details = row([](PublishedState& state) { state.gmailStatus.email.reset(); });
        QCOMPARE(text(details.detail), "Connected with read-only access \u00B7 " + lastRefresh);

        // 2. Disconnecting wins over signing in.
        details = row([](PublishedState& state) {
            state.gmailStatus.connected = false;
            state.isDisconnectingGmail = true;
            state.gmailAuthorizationInProgress = true;
        });
        QCOMPARE(text(details.detail), "Removing Nudgerly's saved Gmail authorization.");
        QVERIFY(!details.connected && !details.primaryTitle && !details.secondaryTitle && details.primaryEnabled);

        // 3. Signing in.
        details = row([](PublishedState& state) {
            state.gmailStatus.connected = false;
            state.gmailAuthorizationInProgress = true;
        });
        QCOMPARE(text(details.detail),
                 "Waiting for Google sign-in. If no browser window appeared, cancel this attempt and try again.");
        QCOMPARE(text(details.primaryTitle), "Cancel authorization");
        QVERIFY(!details.connected && details.primaryEnabled && !details.secondaryTitle);

        // 4. Configured: the guide opens, nothing else happens yet.
        details = row([](PublishedState& state) { state.gmailStatus.connected = false; });
        QCOMPARE(text(details.detail), "Ready to request read-only Gmail access.");
        QCOMPARE(text(details.primaryTitle), "Connect Gmail");
        QVERIFY(!details.connected && details.primaryEnabled);
        QCOMPARE(press(screen, details.primary), Calls{});
        QCOMPARE(guides, 1);
        details = row([](PublishedState& state) {
            state.gmailStatus.connected = false;
            state.contactsPermission = ContactsPermission::notDetermined;
        });
        QCOMPARE(text(details.detail), "Grant Contacts access before connecting Gmail.");
        QVERIFY(!details.primaryEnabled);

        // 5. No client file: where the user's own goes.
        screen.state.dataFolderPath = UserFolders::home() / ".local/share/nudgerly";
        details = row([](PublishedState& state) { state.gmailStatus = {}; });
        QCOMPARE(text(details.detail),
                 "Gmail needs a Google OAuth client file. Save a \u201CDesktop app\u201D client "
                 "as ~/.local/share/nudgerly/google-oauth-client.json, then try again.");
        QVERIFY(!details.connected && !details.primaryTitle && details.primaryEnabled);
    }

    void connectFailsAtEachTestInTurn_data() {
        QTest::addColumn<int>("failing");
        QTest::newRow("all pass") << -1;
        QTest::newRow("contacts not determined") << 0;
        QTest::newRow("contacts denied") << 1;
        QTest::newRow("model choice needed") << 2;
        QTest::newRow("gmail refreshing") << 3;
        QTest::newRow("deleting local data") << 4;
        QTest::newRow("switching model") << 5;
        QTest::newRow("removing model") << 6;
    }

    void connectFailsAtEachTestInTurn() {
        QFETCH(int, failing);
        const std::vector<std::function<void(PublishedState&)>> failures{
            [](PublishedState& s) { s.contactsPermission = ContactsPermission::notDetermined; },
            [](PublishedState& s) { s.contactsPermission = ContactsPermission::denied; },
            [](PublishedState& s) { s.needsModelChoice = true; },
            [](PublishedState& s) { s.refreshingSources = {ReviewSource::gmail}; },
            [](PublishedState& s) { s.isDeletingLocalData = true; },
            [](PublishedState& s) { s.isSwitchingModel = true; },
            [](PublishedState& s) { s.isRemovingModel = true; },
        };
        ScreenFixture screen;
        show(screen, "basicMode", [&](PublishedState& state) {
            state.refreshingSources = {ReviewSource::messages};  // another source's refresh is no obstacle
            if (failing >= 0) {
                failures[static_cast<std::size_t>(failing)](state);
            }
        });
        QCOMPARE(canConnectGmail(screen.state), failing < 0);
        const PermissionRowSpec details = gmailRowSpec(screen.state, [] {});
        QCOMPARE(text(details.primaryTitle), "Connect Gmail");
        QCOMPARE(details.primaryEnabled, failing < 0);
    }

    void cancelAuthorizationAsksTheStateOnceAndOnlyWhileSigningIn() {
        ScreenFixture screen("gmailAuthorizing");
        const PermissionRowSpec details = gmailRowSpec(screen.state, {});
        QCOMPARE(press(screen, details.primary), Calls{"cancelGmailAuthorization()"});
        // The page leaves the status texts to the state object.
        QCOMPARE(text(screen.state.state().activity), "Waiting for Google sign-in");
        QVERIFY(!screen.state.state().errorMessage);

        // The sign-in ended on its own before the press: nothing to do.
        screen.state.published().setGmailAuthorizationInProgress(false);
        QCOMPARE(press(screen, details.primary), Calls{});
    }

    void updatesRowNamesTheVersionAndChecksOnRequest() {
        int checks = 0;
        const PermissionRowSpec details = updatesRowSpec("Nudgerly 1.4 (27)", [&checks] { ++checks; });
        QCOMPARE(text(details.icon), "arrow.triangle.2.circlepath");
        QCOMPARE(text(details.title), "Software updates");
        QCOMPARE(text(details.detail), "Nudgerly 1.4 (27) \u00B7 Updates come from your package manager");
        QVERIFY(details.connected && details.primaryEnabled && !details.secondaryTitle && !details.stepLabel);
        QCOMPARE(text(details.primaryTitle), "Check Now");
        details.primary();
        details.primary();
        QCOMPARE(checks, 2);
    }
};

NUDGERLY_UI_TEST(AccountRowsTests);

}  // namespace nudgerly::test

#include "AccountRowsTests.moc"
