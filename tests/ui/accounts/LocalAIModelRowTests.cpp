#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextLayout>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/accounts/LocalAIModelRow.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly::test {
namespace {

using Calls = std::vector<std::string>;

// The row's visible buttons, left to right, once it has been laid out.
QStringList visibleButtons(LocalAIModelRow& row) {
    row.show();
    QCoreApplication::processEvents();
    std::vector<QPushButton*> shown;
    for (QPushButton* button : row.findChildren<QPushButton*>()) {
        if (!button->isHidden()) {
            shown.push_back(button);
        }
    }
    std::ranges::sort(shown, {}, [&row](const QPushButton* button) { return button->mapTo(&row, QPoint()).x(); });
    QStringList names;
    for (const QPushButton* button : shown) {
        names << button->objectName();
    }
    return names;
}

// The state of the named fixture with `change` on top, seen by the row once the event loop turns.
void show(ScreenFixture& screen, std::string_view fixture, const std::function<void(PublishedState&)>& change = {}) {
    PublishedState state = stateFixture(fixture, screen.clock.now());
    if (change) {
        change(state);
    }
    screen.state.published().replaceAll(std::move(state));
    QCoreApplication::processEvents();
}

// One confirmation as the user sees it.
struct ShownConfirmation {
    QString title;
    QString message;
    QStringList buttons;  // "text:role", sorted: the dialog lays them out in the platform's order

    friend bool operator==(const ShownConfirmation&, const ShownConfirmation&) = default;
};

// Found by Qt Test for failure messages.
[[maybe_unused]] char* toString(const ShownConfirmation& confirmation) {
    return qstrdup(
        qPrintable(confirmation.title + " | " + confirmation.message + " | " + confirmation.buttons.join(", ")));
}

ShownConfirmation shown(const ConfirmDialog& dialog) {
    ShownConfirmation result{dialog.text(), dialog.informativeText(), {}};
    for (QAbstractButton* button : dialog.buttons()) {
        QString role;
        switch (dialog.buttonRole(button)) {
            case QMessageBox::RejectRole: role = "cancel"; break;
            case QMessageBox::DestructiveRole: role = "destructive"; break;
            default: role = "none"; break;
        }
        result.buttons << button->text() + ":" + role;
    }
    result.buttons.sort();
    return result;
}

// The lines of a shown label's text at its width, wrapped between words as a label wraps them; a line
// wider than the label means a word that could only be broken.
QStringList wrappedLines(const QLabel& label) {
    QTextLayout layout(label.text(), label.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    const int width = label.contentsRect().width();
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << label.text().mid(line.textStart(), line.textLength());
        if (line.naturalTextWidth() > width) {
            lines << QStringLiteral("(too wide)");
        }
    }
    layout.endLayout();
    return lines;
}

}  // namespace

class LocalAIModelRowTests : public QObject {
    Q_OBJECT

private:
    // Presses a button of the row and returns the confirmation it opened.
    ConfirmDialog* ask(LocalAIModelRow& row, const char* button) {
        QTest::mouseClick(row.findChild<QPushButton*>(button), Qt::LeftButton);
        return row.openConfirmation();
    }

private slots:
    void firstRunAsksForAChoice() {
        ScreenFixture screen("firstRun");
        LocalAIModelRow row(screen.state);
        auto* status = row.findChild<SymbolLabel*>("modelStatusLabel");
        QCOMPARE(status->text(), "Setup choice required");
        QCOMPARE(status->property("symbol").toString(), "questionmark.circle");
        QCOMPARE(status->property("tone").toString(), "accent");
        QCOMPARE(row.findChild<QWidget*>("icon")->property("tone").toString(), "accent");
        auto* detail = row.findChild<WrapLabel*>("modelDetail");
        QVERIFY(detail->text().startsWith("Download the selected model to continue."));
        QCOMPARE(detail->property("tone").toString(), "secondary");
        QCOMPARE(visibleButtons(row), (QStringList{"downloadButton", "basicModeButton"}));
        QVERIFY(row.findChild<QPushButton*>("downloadButton")->property("prominent").toBool());
        QVERIFY(row.findChild<QProgressBar*>("modelProgressBar")->isHidden());
        QVERIFY(row.findChild<Spinner*>("modelSpinner")->isHidden());
        QVERIFY(screen.state.calls.empty());
    }

    void followsTheStateInPlace() {
        ScreenFixture screen("firstRun");
        LocalAIModelRow row(screen.state);
        auto* download = row.findChild<QPushButton*>("downloadButton");

        show(screen, "downloading");
        auto* bar = row.findChild<QProgressBar*>("modelProgressBar");
        QVERIFY(!bar->isHidden());
        QCOMPARE(bar->value(), 494);  // 1,234,567,890 of 2,497,280,000
        QCOMPARE(bar->accessibleName(), "Downloading Qwen3 4B Q4_K_M");
        QCOMPARE(bar->accessibleDescription(), "1.23 GB of 2.50 GB");
        QCOMPARE(visibleButtons(row), (QStringList{"pauseButton", "basicModeButton"}));

        show(screen, "verifying");
        QVERIFY(bar->isHidden());
        auto* spinner = row.findChild<Spinner*>("modelSpinner");
        QVERIFY(!spinner->isHidden());
        QCOMPARE(spinner->accessibleName(), "Verifying Qwen3 4B Q4_K_M");

        show(screen, "downloadFailed");
        QCOMPARE(visibleButtons(row), (QStringList{"retryButton", "basicModeButton", "removeButton"}));
        QCOMPARE(row.findChild<QPushButton*>("removeButton")->text(), "Remove Selected Download\u2026");
        QVERIFY(row.findChild<QPushButton*>("removeButton")->property("destructive").toBool());
        QCOMPARE(row.findChild<WrapLabel*>("modelDetail")->property("tone").toString(), "red");

        show(screen, "ready");
        QCOMPARE(visibleButtons(row), (QStringList{"refreshQueueButton", "removeButton"}));
        QCOMPARE(row.findChild<QPushButton*>("removeButton")->text(), "Remove Selected Model\u2026");
        QCOMPARE(row.findChild<QPushButton*>("downloadButton"), download);  // kept, not rebuilt

        show(screen, "removingModel");
        QCOMPARE(row.findChild<SymbolLabel*>("modelStatusLabel")->text(), "Removing");
        QVERIFY(!row.findChild<Spinner*>("modelSpinner")->isHidden());
        QVERIFY(row.findChild<QPushButton*>("refreshQueueButton")->isEnabled());
        QVERIFY(!row.findChild<QPushButton*>("removeButton")->isEnabled());
        QVERIFY(screen.state.calls.empty());
    }

    void pickerWritesOnlyWhenTheUserChooses() {
        ScreenFixture screen("basicMode");
        LocalAIModelRow row(screen.state);
        auto* picker = row.findChild<QComboBox*>("modelPicker");
        QCOMPARE(picker->count(), 2);
        QCOMPARE(picker->itemText(0), QString::fromStdString(ModelPack::nudgerlyDefault().pickerLabel()));
        QCOMPARE(picker->itemText(1), QString::fromStdString(ModelPack::nudgerlyLarge().pickerLabel()));
        QCOMPARE(picker->currentIndex(), 0);
        QCOMPARE(picker->accessibleName(), "Local AI model");
        QVERIFY(picker->isEnabled());
        QCOMPARE(row.findChild<WrapLabel*>("modelRecommendation")->text(),
                 "Recommended: best balance of accuracy, speed, memory use, and download size.");

        // A change of selection from elsewhere moves the picker without writing back.
        show(screen, "basicMode", [](PublishedState& state) { state.selectedModelPack = ModelPack::nudgerlyLarge(); });
        QCOMPARE(picker->currentIndex(), 1);
        QVERIFY(row.findChild<WrapLabel*>("modelRecommendation")->text().startsWith("Larger model"));
        QVERIFY(screen.state.calls.empty());

        emit picker->activated(0);
        QCOMPARE(screen.state.calls, Calls{"selectModelPack(" + ModelPack::nudgerlyDefault().identifier + ")"});

        show(screen, "downloading");
        QVERIFY(!picker->isEnabled());
    }

    void directButtonsCallTheirOperations() {
        ScreenFixture screen("downloading");
        LocalAIModelRow row(screen.state);
        QTest::mouseClick(row.findChild<QPushButton*>("pauseButton"), Qt::LeftButton);
        show(screen, "paused");
        QTest::mouseClick(row.findChild<QPushButton*>("resumeButton"), Qt::LeftButton);
        show(screen, "downloadFailed");
        QTest::mouseClick(row.findChild<QPushButton*>("retryButton"), Qt::LeftButton);
        show(screen, "ready", [](PublishedState& state) { state.refreshLookbacks.combined = LookbackWindow::ninety; });
        QTest::mouseClick(row.findChild<QPushButton*>("refreshQueueButton"), Qt::LeftButton);
        QCOMPARE(screen.state.calls,
                 (Calls{"pauseModelDownload()", "resumeModelDownload()", "retryModelDownload()", "refreshAll(90)"}));
    }

    void eachConfirmationSaysExactlyWhatItDoes() {
        ScreenFixture screen("firstRun");
        LocalAIModelRow row(screen.state);
        const ModelPack& pack = ModelPack::nudgerlyDefault();
        const QString file = QString::fromStdString(pack.repository + " \u2014 " + pack.filename);

        QCOMPARE(shown(*ask(row, "downloadButton")),
                 (ShownConfirmation{"Download Qwen3 4B Q4_K_M?",
                                    "Nudgerly will download " + file +
                                        " over HTTPS. Conversation content is never "
                                        "sent to the download host or an internet inference service.",
                                    {"Cancel:cancel", "Download 2.50 GB Model:none"}}));
        row.openConfirmation()->close();

        QCOMPARE(shown(*ask(row, "basicModeButton")),
                 (ShownConfirmation{"Use Basic Mode Instead\u2026",
                                    "Basic Mode uses deterministic on-device rules instead of a language model. It is "
                                    "materially less accurate and may miss conversations or prioritize them "
                                    "incorrectly. Any active model download and its partial data will be canceled and "
                                    "removed. Conversation content remains on this computer either way.",
                                    {"Keep Local AI Recommended:cancel", "Use Lower-Accuracy Basic Mode:none"}}));
        row.openConfirmation()->close();

        show(screen, "paused");
        QCOMPARE(shown(*ask(row, "cancelDownloadButton")),
                 (ShownConfirmation{"Cancel this model download?",
                                    "The partial model download will be removed. Setup stays blocked until a model is "
                                    "installed or you explicitly choose lower-accuracy Basic Mode.",
                                    {"Cancel Download:destructive", "Keep Download:cancel"}}));
        row.openConfirmation()->close();

        show(screen, "ready");
        QCOMPARE(
            shown(*ask(row, "removeButton")),
            (ShownConfirmation{"Remove Qwen3 4B Q4_K_M?",
                               "This removes only " + file +
                                   " and its partial download. Other downloaded model "
                                   "packs stay on this computer. Nudgerly will use lower-accuracy Basic Mode until you "
                                   "install a selected model again.",
                               {"Cancel:cancel", "Remove Selected Model:destructive"}}));
        row.openConfirmation()->close();
        QVERIFY(screen.state.calls.empty());
    }

    void confirmingActsAndCancellingDoesNothing_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("call");
        QTest::newRow("download") << "firstRun"
                                  << "downloadButton"
                                  << "Download 2.50 GB Model"
                                  << "startModelDownload()";
        QTest::newRow("basic mode") << "firstRun"
                                    << "basicModeButton"
                                    << "Use Lower-Accuracy Basic Mode"
                                    << "continueInBasicMode()";
        QTest::newRow("cancel download") << "paused"
                                         << "cancelDownloadButton"
                                         << "Cancel Download"
                                         << "cancelModelDownload()";
        QTest::newRow("remove download") << "downloadFailed"
                                         << "removeButton"
                                         << "Remove Selected Model"
                                         << "removeLocalModel()";
        QTest::newRow("remove model") << "ready"
                                      << "removeButton"
                                      << "Remove Selected Model"
                                      << "removeLocalModel()";
    }

    void confirmingActsAndCancellingDoesNothing() {
        QFETCH(QString, fixture);
        QFETCH(QString, button);
        QFETCH(QString, confirm);
        QFETCH(QString, call);
        ScreenFixture screen(fixture.toStdString());
        QWidget window;
        auto* row = new LocalAIModelRow(screen.state, &window);
        window.show();
        const QByteArray name = button.toLatin1();

        ConfirmDialog* dialog = ask(*row, name.constData());
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        dialog = ask(*row, name.constData());
        const auto buttons = dialog->buttons();
        QAbstractButton* cancel = *std::ranges::find(buttons, QMessageBox::RejectRole,
                                                     [&](QAbstractButton* b) { return dialog->buttonRole(b); });
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(screen.state.calls.empty());

        dialog = ask(*row, name.constData());
        QTest::mouseClick(dialog->buttonTitled(confirm), Qt::LeftButton);
        QCOMPARE(screen.state.calls, Calls{call.toStdString()});
        QVERIFY(!dialog->isVisible());
    }

    void everyConfirmationIsWideEnoughToBreakNoWord_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("button");
        QTest::newRow("download") << "firstRun"
                                  << "downloadButton";
        QTest::newRow("basic mode") << "firstRun"
                                    << "basicModeButton";
        QTest::newRow("cancel download") << "paused"
                                         << "cancelDownloadButton";
        QTest::newRow("remove model") << "ready"
                                      << "removeButton";
    }

    void everyConfirmationIsWideEnoughToBreakNoWord() {
        QFETCH(QString, fixture);
        QFETCH(QString, button);
        ScreenFixture screen(fixture.toStdString());
        QWidget window;
        window.resize(1000, 700);
        auto* row = new LocalAIModelRow(screen.state, &window);
        window.show();
        ConfirmDialog* dialog = ask(*row, button.toLatin1().constData());
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QVERIFY2(dialog->width() >= 420, qPrintable(QString::number(dialog->width())));
        for (const char* name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
            const QStringList lines = wrappedLines(*dialog->findChild<QLabel*>(name));
            QVERIFY2(!lines.contains("(too wide)"), qPrintable(lines.join('|')));
            // Lines end between words, or after the slash or hyphen inside a name.
            for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
                QVERIFY2(lines[i].endsWith(' ') || lines[i].endsWith('/') || lines[i].endsWith('-'),
                         qPrintable(lines.join('|')));
            }
        }
        dialog->close();
    }

    void anOpenConfirmationFollowsTheSelectedPack() {
        ScreenFixture screen("firstRun");
        LocalAIModelRow row(screen.state);
        ConfirmDialog* dialog = ask(row, "downloadButton");
        show(screen, "firstRun", [](PublishedState& state) { state.selectedModelPack = ModelPack::nudgerlyLarge(); });
        const ModelPack& large = ModelPack::nudgerlyLarge();
        QCOMPARE(dialog->text(), "Download " + QString::fromStdString(large.displayName) + "?");
        QVERIFY(dialog->informativeText().contains(QString::fromStdString(large.filename)));
        QVERIFY(dialog->buttonTitled("Download 2.50 GB Model"));  // found by the title it was made with
        QCOMPARE(dialog->buttonTitled("Download 2.50 GB Model")->text(), "Download 5.03 GB Model");
        dialog->close();
    }
};

NUDGERLY_UI_TEST(LocalAIModelRowTests);

}  // namespace nudgerly::test

#include "LocalAIModelRowTests.moc"
