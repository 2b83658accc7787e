#include <deque>
#include <mutex>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "core/BackgroundExecutor.h"
#include "queues/ManualBackgroundExecutor.h"
#include "services/FeedbackClientError.h"
#include "services/FeedbackSender.h"
#include "services/FeedbackSubmissionPolicy.h"
#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/StateBridge.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/setup/FeedbackPage.h"
#include "ui/setup/PrivacyPage.h"

namespace nudgerly::test {
namespace {

// Answers each report with the next scripted receipt or failure, and keeps what it was sent.
class ScriptedSender final : public FeedbackSender {
public:
    using Answer = std::variant<FeedbackReceipt, FeedbackClientError>;

    FeedbackReceipt submit(const FeedbackSubmission& submission, std::stop_token) const override {
        const std::lock_guard lock(mutex_);
        sent.push_back(submission);
        Answer answer = answers.front();
        answers.pop_front();
        if (auto* error = std::get_if<FeedbackClientError>(&answer)) {
            throw *error;
        }
        return std::get<FeedbackReceipt>(answer);
    }

    mutable std::deque<Answer> answers;
    mutable std::vector<FeedbackSubmission> sent;

private:
    mutable std::mutex mutex_;
};

struct FeedbackFixture {
    ScreenFixture screen{"ready"};
    StateBridge bridge{screen.state};
    ManualBackgroundExecutor executor;
    std::shared_ptr<ScriptedSender> sender = std::make_shared<ScriptedSender>();
    FeedbackPage page{bridge, {sender, executor, screen.mainQueue}};

    QPlainTextEdit& editor() { return *page.findChild<QPlainTextEdit*>("feedbackEditor"); }
    QPushButton& sendButton() { return *page.findChild<QPushButton*>("sendFeedbackButton"); }
    SymbolLabel& statusLine() { return *page.findChild<SymbolLabel*>("statusLine"); }
    QWidget& banner() { return *page.findChild<QWidget*>("receiptBanner"); }
    void type(const QString& text) { editor().insertPlainText(text); }
    // Lets the worker send and its answer arrive.
    void deliver() {
        executor.runAll();
        QCoreApplication::processEvents();
    }
};

}  // namespace

class SetupPagesTests : public QObject {
    Q_OBJECT

private slots:
    void deletingIsOfferedOnlyWhileNothingRuns() {
        ScreenFixture screen("ready");
        StateBridge bridge(screen.state);
        PrivacyPage page(bridge);
        auto* button = page.findChild<QPushButton*>("deleteLocalDataButton");
        QVERIFY(button->isEnabled());
        QVERIFY(button->property("destructive").toBool());
        QCOMPARE(button->text(), "Delete Local Data\u2026");

        screen.show("refreshing");
        QCoreApplication::processEvents();
        QVERIFY(!button->isEnabled());
        screen.show("deletingLocalData");
        QCoreApplication::processEvents();
        QVERIFY(!button->isEnabled());
        screen.show("ready");
        QCoreApplication::processEvents();
        QVERIFY(button->isEnabled());
    }

    void theConfirmationDeletesOnlyWhenAskedTo() {
        ScreenFixture screen("ready");
        StateBridge bridge(screen.state);
        PrivacyPage page(bridge);
        auto* button = page.findChild<QPushButton*>("deleteLocalDataButton");
        button->click();
        QPointer<ConfirmDialog> dialog = page.confirmation();
        QVERIFY(dialog);
        QCOMPARE(dialog->text(), "Delete saved Nudgerly queue data?");
        QVERIFY(dialog->informativeText().startsWith("This removes Gmail credentials"));
        QPushButton* remove = dialog->buttonTitled("Delete Local Data");
        QVERIFY(remove->property("destructive").toBool());
        QCOMPARE(dialog->escapeButton(), dialog->buttonTitled("Cancel"));
        QCOMPARE(dialog->defaultButton(), dialog->buttonTitled("Cancel"));

        dialog->buttonTitled("Cancel")->click();
        QVERIFY(screen.state.calls.empty());
        button->click();
        QTest::keyClick(page.confirmation(), Qt::Key_Escape);
        QVERIFY(screen.state.calls.empty());

        button->click();
        page.confirmation()->buttonTitled("Delete Local Data")->click();
        QCOMPARE(screen.state.calls, std::vector<std::string>{"deleteLocalData()"});
    }

    void blankOrOverlongFeedbackCannotBeSent() {
        FeedbackFixture fixture;
        QVERIFY(!fixture.sendButton().isEnabled());
        QCOMPARE(fixture.statusLine().text(), QString::fromStdString(*FeedbackSubmissionPolicy::validationMessage("")));
        QCOMPARE(fixture.statusLine().property("symbol").toString(), "info.circle");
        fixture.type("  \n\n  ");
        QVERIFY(!fixture.sendButton().isEnabled());
        fixture.page.submit();
        QCOMPARE(fixture.executor.pending(), 0u);

        fixture.editor().setPlainText(QString(4001, QLatin1Char('x')));
        QVERIFY(!fixture.sendButton().isEnabled());
        QCOMPARE(fixture.statusLine().text(),
                 QString::fromStdString(*FeedbackSubmissionPolicy::validationMessage(std::string(4001, 'x'))));
        fixture.editor().setPlainText("Fine now");
        QVERIFY(fixture.sendButton().isEnabled());
        QVERIFY(!fixture.statusLine().isVisibleTo(&fixture.page));
        QCOMPARE(fixture.sendButton().toolTip().contains("Send feedback privately"), true);
    }

    void aSentReportShowsItsReceiptAndStartsAFreshOne() {
        FeedbackFixture fixture;
        fixture.screen.state.diagnostics.appVersion = "1.0 (1)";
        fixture.sender->answers.push_back(FeedbackReceipt{"abcdef1234567890", "received", {}});
        fixture.page.findChild<QComboBox*>("categoryPicker")->setCurrentIndex(3);
        fixture.page.findChild<QComboBox*>("areaPicker")->setCurrentIndex(3);
        const QString firstID = fixture.page.reportID();
        fixture.type("\n  The queue missed a question.\nMore detail here.  ");
        QTest::mouseClick(&fixture.sendButton(), Qt::LeftButton);
        QVERIFY(fixture.page.isSubmitting());
        QCOMPARE(fixture.sendButton().text(), "Sending\u2026");
        QVERIFY(!fixture.sendButton().isEnabled());
        fixture.deliver();

        QCOMPARE(fixture.sender->sent.size(), 1u);
        const FeedbackSubmission& sent = fixture.sender->sent.front();
        QCOMPARE(sent.clientReportID, firstID.toStdString());
        QCOMPARE(sent.category, FeedbackCategory::featureRequest);
        QCOMPARE(sent.area, FeedbackArea::localAI);
        QCOMPARE(sent.details, "The queue missed a question.\nMore detail here.");
        QCOMPARE(sent.summary, "The queue missed a question.");
        QCOMPARE(sent.channel, "linux_app");
        QVERIFY(sent.privacyConfirmed);
        QVERIFY(sent.diagnostics && sent.diagnostics->appVersion == "1.0 (1)");

        QVERIFY(!fixture.page.isSubmitting());
        QVERIFY(fixture.banner().isVisibleTo(&fixture.page));
        QCOMPARE(fixture.banner().findChild<SymbolLabel*>()->text(), "Feedback received \u00B7 NU-ABCDEF12");
        QVERIFY(fixture.editor().toPlainText().isEmpty());
        QVERIFY(fixture.page.reportID() != firstID);
        QCOMPARE(fixture.page.findChild<QComboBox*>("categoryPicker")->currentIndex(), 3);

        // Typing keeps the receipt; starting the next send hides it.
        fixture.type("x");
        QVERIFY(fixture.banner().isVisibleTo(&fixture.page));
        fixture.page.submit();
        QVERIFY(!fixture.banner().isVisibleTo(&fixture.page));
    }

    void aFailedSendKeepsTheReportForTheNextAttempt() {
        FeedbackFixture fixture;
        fixture.sender->answers.push_back(FeedbackClientError::connectionFailed());
        fixture.sender->answers.push_back(FeedbackReceipt{"ab12c", "received", {}});
        fixture.page.findChild<QCheckBox*>("includeDiagnosticsToggle")->click();
        fixture.type("Crashed when I pressed refresh");
        fixture.page.submit();
        fixture.deliver();

        QCOMPARE(fixture.statusLine().text(), QString::fromStdString(FeedbackClientError::connectionFailed().what()));
        QCOMPARE(fixture.statusLine().property("tone").toString(), "red");
        QCOMPARE(fixture.editor().toPlainText(), "Crashed when I pressed refresh");
        QVERIFY(!fixture.sender->sent.front().diagnostics);
        // Typing clears the error; the next send carries the same report id.
        fixture.type("!");
        QVERIFY(!fixture.statusLine().isVisibleTo(&fixture.page));
        fixture.page.submit();
        fixture.deliver();
        QCOMPARE(fixture.sender->sent.size(), 2u);
        QCOMPARE(fixture.sender->sent[1].clientReportID, fixture.sender->sent[0].clientReportID);
        QCOMPARE(fixture.banner().findChild<SymbolLabel*>()->text(), "Feedback received \u00B7 NU-AB12C");
    }

    void twoQuickPressesSendOnce() {
        FeedbackFixture fixture;
        fixture.sender->answers.push_back(FeedbackReceipt{"r1", "received", {}});
        fixture.type("Twice?");
        fixture.page.submit();
        fixture.page.submit();
        QCOMPARE(fixture.executor.pending(), 1u);
        fixture.deliver();
        QCOMPARE(fixture.sender->sent.size(), 1u);
    }

    void anAnswerAfterThePageHasGoneIsDropped() {
        auto fixture = std::make_unique<FeedbackFixture>();
        fixture->sender->answers.push_back(FeedbackReceipt{"r1", "received", {}});
        fixture->type("Bye");
        fixture->page.submit();
        ManualBackgroundExecutor executor;
        // The page goes while its report is on the way; the answer then finds nobody.
        auto* page = new FeedbackPage(fixture->bridge, {fixture->sender, executor, fixture->screen.mainQueue});
        page->findChild<QPlainTextEdit*>("feedbackEditor")->setPlainText("Gone soon");
        page->submit();
        delete page;
        executor.runAll();
        QCoreApplication::processEvents();
        QCOMPARE(fixture->sender->sent.size(), 1u);
    }

    void receiptNumbersAreUpperCasedAndCutToEightCharacters() {
        QCOMPARE(FeedbackPage::receiptNumber("abcdef1234567890"), "NU-ABCDEF12");
        QCOMPARE(FeedbackPage::receiptNumber("ab12c"), "NU-AB12C");
        QCOMPARE(FeedbackPage::receiptNumber(""), "NU-");
        QCOMPARE(FeedbackPage::receiptNumber("\U0001F600\U0001F600abcdefgh"), "NU-\U0001F600\U0001F600ABCDEF");
    }
};

NUDGERLY_UI_TEST(SetupPagesTests);

}  // namespace nudgerly::test

#include "SetupPagesTests.moc"
