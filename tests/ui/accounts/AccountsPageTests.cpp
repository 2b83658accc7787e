#include <QPushButton>
#include <QTest>

#include "services/UpdateController.h"
#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/accounts/AccountsPage.h"
#include "ui/accounts/GmailConnectionGuide.h"
#include "ui/accounts/LocalAIModelRow.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/WrapLabel.h"
#include "ui/shared/PermissionRow.h"

namespace nudgerly::test {
namespace {

using Calls = std::vector<std::string>;

// Counts checks and answers each with `answer`.
class RecordingUpdater final : public Updater {
public:
    RecordingUpdater(int& checks, std::optional<std::string> answer) : checks_(checks), answer_(std::move(answer)) {}
    void start() override {}
    std::optional<std::string> checkForUpdates() override {
        ++checks_;
        return answer_;
    }

private:
    int& checks_;
    std::optional<std::string> answer_;
};

// A page on a fixture, in a window of its own.
struct PageFixture {
    explicit PageFixture(std::string_view fixture, std::optional<std::string> updateAnswer = std::nullopt)
        : screen(fixture),
          updates(AppInfo({{"CFBundleShortVersionString", "1.4"}, {"CFBundleVersion", "27"}}),
                  std::make_unique<RecordingUpdater>(checks, std::move(updateAnswer))),
          page(screen.state, updates) {
        page.resize(800, 900);
        page.show();
        QCoreApplication::processEvents();
    }

    PermissionRow& row(const char* name) { return *page.findChild<PermissionRow*>(name); }
    QPushButton& button(const char* rowName, const char* button) {
        return *row(rowName).findChild<QPushButton*>(button);
    }
    QString detail(const char* rowName) { return row(rowName).findChild<WrapLabel*>("detailLabel")->text(); }
    void click(const char* rowName, const char* name) { QTest::mouseClick(&button(rowName, name), Qt::LeftButton); }
    void show(std::string_view fixture) {
        screen.show(fixture);
        QCoreApplication::processEvents();
    }

    int checks = 0;
    ScreenFixture screen;
    UpdateController updates;
    AccountsPage page;
};

}  // namespace

class AccountsPageTests : public QObject {
    Q_OBJECT

private slots:
    void firstRunShowsEverySectionAndWhatIsStillNeeded() {
        PageFixture fixture("firstRun");
        QCOMPARE(fixture.page.windowTitle(), "Accounts");
        QStringList labels;
        for (const WrapLabel* label : fixture.page.findChildren<WrapLabel*>()) {
            labels << label->text();
        }
        for (const char* text : {"Accounts & permissions", "Get started", "Conversation sources", "Software",
                                 "Choose your Local AI setup, allow required Contacts access, then connect the "
                                 "conversation sources you want to review."}) {
            QVERIFY2(labels.contains(text), text);
        }
        // The cards stand in the order of the page: Local AI, Contacts, Messages, Gmail, updates.
        int previous = -1;
        for (const char* name : {"modelRow", "contactsRow", "messagesRow", "gmailRow", "updatesRow"}) {
            auto* card = fixture.page.findChild<QWidget*>(name);
            QVERIFY2(card, name);
            const int y = card->mapTo(&fixture.page.column(), QPoint()).y();
            QVERIFY2(y > previous, name);
            previous = y;
        }
        QVERIFY(!fixture.row("contactsRow").findChild<QWidget*>("stepLabel")->isHidden());
        QVERIFY(fixture.row("messagesRow").findChild<QWidget*>("stepLabel")->isHidden());
        QCOMPARE(fixture.button("contactsRow", "primaryButton").text(), "Allow Contacts");
        QVERIFY(!fixture.button("gmailRow", "primaryButton").isEnabled());
    }

    void rowsFollowTheStateInPlace() {
        PageFixture fixture("firstRun");
        QPushButton* gmailButton = &fixture.button("gmailRow", "primaryButton");
        fixture.show("ready");
        QCOMPARE(&fixture.button("gmailRow", "primaryButton"), gmailButton);
        QCOMPARE(gmailButton->text(), "Refresh");
        QVERIFY(gmailButton->isEnabled());
        QVERIFY(fixture.detail("gmailRow").startsWith("sam.rivera@example.com \u00B7 "));
        QVERIFY(fixture.button("contactsRow", "primaryButton").isHidden());
        QCOMPARE(fixture.button("messagesRow", "primaryButton").text(), "Refresh");
        QVERIFY(fixture.screen.state.calls.empty());
    }

    void buttonsCallTheirOperations() {
        PageFixture fixture("contactsDenied");
        fixture.click("contactsRow", "primaryButton");
        fixture.click("contactsRow", "secondaryButton");
        fixture.click("messagesRow", "primaryButton");
        fixture.click("messagesRow", "secondaryButton");
        fixture.show("ready");
        fixture.click("messagesRow", "primaryButton");
        fixture.click("gmailRow", "primaryButton");
        fixture.click("gmailRow", "secondaryButton");
        QCOMPARE(
            fixture.screen.state.calls,
            (Calls{"openContactsSettings()", "reconcileContactsPermission(true)", "openFullDiskAccess()",
                   "recheckMessagesPermission()", "refresh(messages, 30)", "refresh(gmail, 30)", "disconnectGmail()"}));
    }

    void connectGmailOpensTheGuideAndOnlyContinuingConnects() {
        PageFixture fixture("basicMode");
        QCOMPARE(fixture.button("gmailRow", "primaryButton").text(), "Connect Gmail");

        fixture.click("gmailRow", "primaryButton");
        GmailConnectionGuide* guide = fixture.page.connectionGuide();
        QVERIFY(guide && guide->isVisible());
        QVERIFY(fixture.screen.state.calls.empty());
        QTest::keyClick(guide, Qt::Key_Escape);
        QVERIFY(!guide->isVisible());
        QVERIFY(fixture.screen.state.calls.empty());

        fixture.click("gmailRow", "primaryButton");
        guide = fixture.page.connectionGuide();
        QVERIFY(guide && guide->isVisible());
        QTest::keyClick(guide, Qt::Key_Return);
        QVERIFY(!guide->isVisible());
        QCOMPARE(fixture.screen.state.calls, Calls{"connectGmail()"});
    }

    void cancelAuthorizationAsksTheState() {
        PageFixture fixture("gmailAuthorizing");
        QCOMPARE(fixture.button("gmailRow", "primaryButton").text(), "Cancel authorization");
        fixture.click("gmailRow", "primaryButton");
        QCOMPARE(fixture.screen.state.calls, Calls{"cancelGmailAuthorization()"});
    }

    void checkNowAsksTheUpdaterEveryTime() {
        PageFixture quiet("ready");
        quiet.click("updatesRow", "primaryButton");
        quiet.click("updatesRow", "primaryButton");
        QCOMPARE(quiet.checks, 2);
        QVERIFY(!quiet.page.findChild<ConfirmDialog*>());

        PageFixture answering("ready",
                              "Nudgerly 1.4 (27) is installed. Updates come from your system's package manager.");
        answering.click("updatesRow", "primaryButton");
        auto* answer = answering.page.findChild<ConfirmDialog*>();
        QVERIFY(answer && answer->isVisible());
        QCOMPARE(answer->informativeText(),
                 "Nudgerly 1.4 (27) is installed. Updates come from your system's package manager.");
        QCOMPARE(answering.checks, 1);
        answer->close();
    }

    void twoPagesOnOneStateBothFollowIt() {
        PageFixture fixture("firstRun");
        AccountsPage settings(fixture.screen.state, fixture.updates);
        fixture.show("contactsDenied");
        for (AccountsPage* page : {&fixture.page, &settings}) {
            auto* contacts = page->findChild<PermissionRow*>("contactsRow");
            QCOMPARE(contacts->findChild<QPushButton*>("primaryButton")->text(), "Open Settings");
            QCOMPARE(page->findChild<LocalAIModelRow*>("modelRow")->findChild<WrapLabel*>("modelDetail")->text(),
                     "Lower-accuracy Basic Mode is active. Allow required Contacts access below to continue, or "
                     "download the selected model for full Local AI classification.");
        }
    }
};

NUDGERLY_UI_TEST(AccountsPageTests);

}  // namespace nudgerly::test

#include "AccountsPageTests.moc"
