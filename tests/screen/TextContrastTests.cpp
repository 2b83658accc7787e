#include "TextContrastTests.h"

#include <QCursor>
#include <QListView>
#include <QScreen>
#include <QTest>

#include "ScreenMeasure.h"
#include "ShownMainWindow.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/WrapLabel.h"
#include "ui/queue/QueueListModel.h"
#include "ui/queue/QueueRowDelegate.h"
#include "ui/shared/QueueRowPainter.h"

namespace nudgerly::test {
namespace {

constexpr double readable = 4.5;

QString describe(const Measured& measured) {
    return QStringLiteral("text %1 on %2 measures %3:1")
        .arg(QColor(measured.text).name(), QColor(measured.fill).name())
        .arg(measured.ratio, 0, 'f', 2);
}

QString textOf(const QWidget& label) {
    if (const auto* elided = qobject_cast<const ElidedLabel*>(&label)) {
        return elided->text();
    }
    return static_cast<const QLabel&>(label).text();
}

}  // namespace

TextContrastTests::TextContrastTests() = default;
TextContrastTests::~TextContrastTests() = default;

void TextContrastTests::initTestCase() {
    shown_ = std::make_unique<ShownMainWindow>();
    QVERIFY(shown_->present());
}

void TextContrastTests::cleanupTestCase() {
    shown_.reset();
}

void TextContrastTests::everyLabelIsReadable_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<Section>("section");
    // Status words and the queue's captions; the Local AI notice and the rows' readiness words; a
    // failure in red; the pages' secondary grey.
    QTest::newRow("queue") << "ready" << Section::queue;
    QTest::newRow("accounts, basic mode") << "basicMode" << Section::accounts;
    QTest::newRow("accounts, first run") << "firstRun" << Section::accounts;
    QTest::newRow("accounts, download failed") << "downloadFailed" << Section::accounts;
    QTest::newRow("accounts, model issue") << "installedWithIssue" << Section::accounts;
    QTest::newRow("privacy") << "ready" << Section::privacy;
    QTest::newRow("feedback") << "ready" << Section::feedback;
}

void TextContrastTests::everyLabelIsReadable() {
    QFETCH(QString, fixture);
    QFETCH(Section, section);
    shown_->show(fixture.toStdString(), section);

    QStringList unreadable;
    int measured = 0;
    for (QWidget* label : shown_->window.findChildren<QWidget*>()) {
        const bool isLabel = qobject_cast<ElidedLabel*>(label) || qobject_cast<WrapLabel*>(label);
        if (!isLabel || !label->isVisible() || !label->isEnabled() || textOf(*label).trimmed().isEmpty() ||
            label->visibleRegion() != QRegion(label->rect())) {
            continue;
        }
        const Measured text = measure(shown_->grab(*label, label->rect()), 0);
        ++measured;
        if (text.ratio < readable) {
            unreadable << QStringLiteral("%1 \u201C%2\u201D: %3")
                              .arg(label->property("tone").toString(), textOf(*label).left(40), describe(text));
        }
    }
    QVERIFY(measured >= 5);
    QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join('\n')));
}

void TextContrastTests::theQueueRowsBadgesAreReadable() {
    shown_->show("ready", Section::queue);
    auto* list = shown_->window.findChild<QListView*>("queueList");
    QVERIFY(list);
    const auto& model = static_cast<const QueueListModel&>(*list->model());
    QStringList unreadable;
    int badges = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QueueListEntry& entry = model.entry(row);
        const QRect rect = list->visualRect(model.index(row));
        if (!entry.item || !list->viewport()->rect().contains(rect)) {
            continue;
        }
        const RowPresentation shown = rowPresentation(*entry.item, entry.showsStatus, model.now());
        const auto geometry = QueueConversationRow::layout(shown, QueueRowDelegate::contentRect(rect));
        const std::vector<std::pair<QString, QRect>> parts{
            {"age", shown.age ? geometry.date : QRect()},
            {"status", geometry.status},
            {"verdict", geometry.verdict},
        };
        for (const auto& [name, area] : parts) {
            if (area.isEmpty()) {
                continue;
            }
            // Badges are measured inside their rounded ends, where their own tint is the ground.
            const Measured text = measure(shown_->grab(*list->viewport(), area), name == "verdict" ? 0 : 2);
            ++badges;
            if (text.ratio < readable) {
                unreadable << name + " of " + QString::fromStdString(entry.item->id) + ": " + describe(text);
            }
        }
    }
    QVERIFY(badges >= 6);
    QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join('\n')));
}

}  // namespace nudgerly::test
