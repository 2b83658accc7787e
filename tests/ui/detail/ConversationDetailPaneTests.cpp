#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/detail/ConversationDetailPane.h"
#include "ui/detail/DetailSection.h"
#include "ui/detail/MessageLinkPreviewCard.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly::test {
namespace {

// A pane on a fake state whose published state the test replaces; widgets are looked up by name.
struct PaneFixture {
    ScreenFixture screen;
    ConversationDetailPane pane{screen.state};

    explicit PaneFixture(std::string_view fixture) : screen(fixture) {
        pane.resize(520, 640);
        QCoreApplication::processEvents();
    }

    // Shows `state` and lets the pane hear of it.
    void publish(PublishedState state) {
        screen.state.published().replaceAll(std::move(state));
        QCoreApplication::processEvents();
    }
    // The named fixture with one item changed and selected.
    void select(std::string_view fixture, ReviewSource source, std::string_view id,
                const std::function<void(ReviewItem&)>& change = {}) {
        publish(withSelectedItem(stateFixture(fixture), source, id, change));
    }

    template <typename Widget = QWidget>
    Widget* child(const char* name) const {
        auto* found = pane.findChild<Widget*>(name);
        if (found == nullptr) {
            qFatal("The pane has no %s.", name);
        }
        return found;
    }
    bool shows(const char* name) const { return child(name)->isVisibleTo(&pane); }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
};

}  // namespace

class ConversationDetailPaneTests : public QObject {
    Q_OBJECT

private slots:
    void withNothingSelectedThePlaceholderNamesTheScopeAndOffersNoButtons() {
        PaneFixture fixture("nothingScanned");
        QVERIFY(!fixture.pane.item());
        QVERIFY(fixture.shows("placeholder"));
        QVERIFY(!fixture.shows("detailScroll"));
        QCOMPARE(fixture.child<WrapLabel>("placeholderTitle")->text(), "No conversation selected");
        for (QPushButton* button : fixture.child("placeholder")->findChildren<QPushButton*>()) {
            QVERIFY(!button->isVisibleTo(&fixture.pane));
        }

        fixture.publish(stateFixture("nothingCompleted"));
        QVERIFY(fixture.shows("placeholder"));
        QCOMPARE(fixture.child<WrapLabel>("placeholderTitle")->text(), "No completed conversation selected");
        QVERIFY(!fixture.shows("openButton"));
    }

    void theSectionsFollowTheDraftTheSourceAndTheText() {
        PaneFixture fixture("messagesDetail");
        QCOMPARE(fixture.pane.item()->id, "messages-maya");
        QCOMPARE(fixture.child<DetailSection>("messageSection")->title(), "Message");
        QVERIFY(fixture.shows("messageBubble"));
        QVERIFY(fixture.shows("linkPreviewCard"));
        QVERIFY(fixture.shows("replySection"));
        QCOMPARE(fixture.child<WrapLabel>("draftText")->text(), "Yes, I can get them Thursday. What time is pickup?");

        // An empty or blank reply still gets its box and its button, which has nothing to copy; no reply
        // gets neither.
        for (const char* blank : {"", " \n\t\u00A0"}) {
            fixture.select("ready", ReviewSource::messages, "messages-jordan",
                           [blank](ReviewItem& item) { item.draft = blank; });
            QVERIFY(fixture.shows("replySection"));
            QVERIFY(fixture.shows("copyReplyButton"));
            QVERIFY(!fixture.button("copyReplyButton")->isEnabled());
            QTest::mouseClick(fixture.button("copyReplyButton"), Qt::LeftButton);
            QVERIFY(fixture.screen.state.calls.empty());
        }
        fixture.select("ready", ReviewSource::messages, "messages-jordan",
                       [](ReviewItem& item) { item.draft = " ok "; });
        QVERIFY(fixture.button("copyReplyButton")->isEnabled());
        fixture.select("ready", ReviewSource::messages, "messages-jordan");
        QVERIFY(!fixture.shows("replySection"));
        QVERIFY(!fixture.shows("copyReplyButton"));

        // White space alone makes no bubble: the card stands alone, or the section keeps only its title.
        const auto blank = [](ReviewItem& item) { item.context = " \n\t\u00A0\n"; };
        fixture.select("messagesDetail", ReviewSource::messages, "messages-maya", blank);
        QVERIFY(!fixture.shows("messageBubble"));
        QVERIFY(fixture.shows("linkPreviewCard"));
        fixture.select("ready", ReviewSource::messages, "messages-priya", blank);
        QVERIFY(!fixture.shows("messageBubble"));
        QVERIFY(!fixture.shows("messageBody"));
        QVERIFY(fixture.child("messageSection")->findChild<QWidget*>("titleLabel")->isVisibleTo(&fixture.pane));
        QCOMPARE(fixture.child<WrapLabel>("messageText")->text(), QString(" \n\t\u00A0\n"));
    }

    void gmailShowsItsFramedBoxAlwaysAndNeverACard() {
        PaneFixture fixture("gmailDetail");
        QCOMPARE(fixture.child<DetailSection>("messageSection")->title(), "Email");
        QVERIFY(fixture.shows("emailBox"));
        QVERIFY(!fixture.shows("messageBubble"));
        QCOMPARE(fixture.button("openButton")->text(), "Open in Gmail");

        fixture.select("ready", ReviewSource::gmail, "gmail-invoice", [](ReviewItem& item) {
            item.context = "";
            item.messageLinkPreview = MessageLinkPreview{.title = "Invoice", .domain = "northwind.example"};
        });
        QVERIFY(fixture.shows("emailBox"));
        QCOMPARE(fixture.child<WrapLabel>("emailText")->text(), "");
        QVERIFY(!fixture.shows("linkPreviewCard"));
    }

    void theHeaderAndTextsShowTheItemLiterallyAndUncut() {
        PaneFixture fixture("ready");
        fixture.select("ready", ReviewSource::messages, "messages-long", [](ReviewItem& item) {
            for (int i = 0; i < 4; ++i) {
                item.person += " and the Neighbourhood Garden Committee";
            }
        });
        fixture.pane.show();
        QCoreApplication::processEvents();
        auto* person = fixture.child<ElidedLabel>("personLabel");
        QCOMPARE(person->maxLines(), 2);
        QVERIFY(person->isElided());
        QCOMPARE(fixture.child<ElidedLabel>("dateLabel")->text(), "Mar 9");
        QCOMPARE(fixture.child("sourceLabel")->property("symbol").toString(), "message.fill");
        auto* summary = fixture.child<WrapLabel>("summaryText");
        QVERIFY(summary->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(summary->height() >= summary->heightForWidth(summary->width()));  // every line shows

        fixture.publish(stateFixture("markup"));
        QCOMPARE(person->text(), "<b>Bold</b> <img src=\"/etc/hostname\">");
        QCOMPARE(summary->text(), "<i>Summary</i> with <a href=\"https://example.com\">a link</a>");
        QCOMPARE(summary->textFormat(), Qt::PlainText);
    }

    void theActionsCallTheStateAndOpenNeedsALink() {
        PaneFixture fixture("messagesDetail");
        QPushButton* open = fixture.button("openButton");
        QCOMPARE(open->text(), "Open in Messages");
        QCOMPARE(open->property("symbol").toString(), "arrow.up.forward.app");
        QVERIFY(open->property("prominent").toBool());
        QVERIFY(open->isEnabled());
        open->click();
        fixture.button("copyReplyButton")->click();
        fixture.button("completeButton")->click();
        QCOMPARE(fixture.screen.state.calls,
                 (std::vector<std::string>{"open(messages-maya)", "copyDraft(messages-maya)",
                                           "toggleCompleted(messages-maya)"}));

        fixture.select("messagesDetail", ReviewSource::messages, "messages-maya",
                       [](ReviewItem& item) { item.openURL.reset(); });
        QVERIFY(fixture.shows("openButton"));
        QVERIFY(!open->isEnabled());
        QVERIFY(fixture.button("copyReplyButton")->isEnabled());
        QVERIFY(fixture.button("completeButton")->isEnabled());
    }

    void theCompleteButtonFollowsTheCompletionIdentity() {
        PaneFixture fixture("completedView");  // Leo's item is the one completed
        QPushButton* complete = fixture.button("completeButton");
        QCOMPARE(fixture.pane.item()->id, "messages-done");
        QCOMPARE(complete->text(), "Restore");
        QCOMPARE(complete->property("symbol").toString(), "arrow.uturn.backward");
        complete->click();
        QCOMPARE(fixture.screen.state.calls.back(), "toggleCompleted(messages-done)");

        // What the toggle does: the identity leaves the completed set, and the item the open queue.
        PublishedState restored = stateFixture("ready");
        restored.completed.clear();
        restored.selectedItemID = "messages-done";
        fixture.publish(restored);
        QCOMPARE(fixture.pane.item()->id, "messages-done");
        QCOMPARE(fixture.button("completeButton"), complete);
        QCOMPARE(complete->text(), "Mark completed");
        QCOMPARE(complete->property("symbol").toString(), "checkmark");

        // The completion key decides, not the id, while there is a key.
        restored.completed = {"messages-done"};
        fixture.publish(restored);
        QCOMPARE(complete->text(), "Mark completed");
        fixture.select("completedView", ReviewSource::messages, "messages-done",
                       [](ReviewItem& item) { item.completionKey.reset(); });
        fixture.screen.state.published().setCompleted({"messages-done"});
        QCoreApplication::processEvents();
        QCOMPARE(complete->text(), "Restore");
    }

    void anotherItemScrollsToTheTopWhileChangesKeepThePlace() {
        PaneFixture fixture("gmailDetail");
        fixture.select("gmailDetail", ReviewSource::gmail, "gmail-interview", [](ReviewItem& item) {
            item.context = "Hi Sam,";
            for (int line = 0; line < 80; ++line) {
                item.context += "\nAnother line of a long email.";
            }
        });
        fixture.pane.resize(420, 300);
        fixture.pane.show();
        QCoreApplication::processEvents();
        QScrollBar* scroll = fixture.child<QScrollArea>("detailScroll")->verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        scroll->setValue(scroll->maximum() / 2);
        const int place = scroll->value();
        auto* emailText = fixture.child<WrapLabel>("emailText");

        fixture.screen.state.lines().showActivity("Fetching inbox threads");
        fixture.screen.state.published().setRefreshProgressBySource(
            {{ReviewSource::gmail, {.source = ReviewSource::gmail, .detail = "Fetching inbox threads"}}});
        QCoreApplication::processEvents();
        QCOMPARE(scroll->value(), place);
        QCOMPARE(fixture.child<WrapLabel>("emailText"), emailText);

        fixture.screen.state.published().setSelectedItemID("gmail-invoice");
        QCoreApplication::processEvents();
        QCOMPARE(fixture.pane.item()->id, "gmail-invoice");
        QCOMPARE(scroll->value(), 0);
    }
};

NUDGERLY_UI_TEST(ConversationDetailPaneTests);

}  // namespace nudgerly::test

#include "ConversationDetailPaneTests.moc"
