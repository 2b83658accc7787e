#include <vector>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "Shot.h"
#include "statefakes/StateFixtures.h"
#include "ui/kit/Divider.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Symbols.h"
#include "ui/shared/PageHeader.h"
#include "ui/shared/PermissionRow.h"
#include "ui/shared/PrivacyRow.h"
#include "ui/shared/QueueRowPainter.h"
#include "ui/shared/RefreshBanner.h"
#include "ui/shared/SectionLabel.h"
#include "ui/shared/SidebarStatusLine.h"

namespace nudgerly::test {
namespace {

// Queue rows painted as the list's delegate paints them, one under the other.
class RowsPreview : public QWidget {
public:
    explicit RowsPreview(std::vector<RowPresentation> rows, int width) : rows_(std::move(rows)) {
        int height = 0;
        for (const RowPresentation& row : rows_) {
            height += QueueConversationRow::height(row, width - 2 * margin) + 1;
        }
        setFixedSize(width, height);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Look::controlBackground());
        int y = 0;
        for (const RowPresentation& row : rows_) {
            const int height = QueueConversationRow::height(row, width() - 2 * margin);
            QueueConversationRow::paint(painter, QRect(margin, y, width() - 2 * margin, height), row);
            y += height;
            painter.fillRect(QRect(margin, y, width() - 2 * margin, 1), Look::separator());
            y += 1;
        }
    }

private:
    static constexpr int margin = 12;
    std::vector<RowPresentation> rows_;
};

// The views one under another, a divider between each two, in a column `width` wide (any width for 0).
QWidget* divided(const std::vector<QWidget*>& views, int width = 0) {
    auto* column = new QWidget;
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    for (QWidget* view : views) {
        if (stack->count() > 0) {
            stack->addWidget(new Divider);
        }
        stack->addWidget(view);
    }
    if (width > 0) {
        column->setFixedWidth(width);
    }
    return column;
}

QWidget* rowsPreview() {
    const Date now = fixtureNow();
    std::vector<RowPresentation> rows;
    for (const ReviewItem& item : fixtureItems(ReviewSource::messages, now)) {
        rows.push_back(rowPresentation(item, true, now));
    }
    for (const ReviewItem& item : fixtureItems(ReviewSource::gmail, now)) {
        rows.push_back(rowPresentation(item, item.id != "gmail-invoice", now));  // one without its status
    }
    return new RowsPreview(std::move(rows), 440);
}

QWidget* banners() {
    std::vector<QWidget*> views;
    for (const RefreshProgress& progress : std::vector<RefreshProgress>{
             {.source = ReviewSource::messages, .detail = "Classifying conversations", .completed = 12, .total = 40},
             {.source = ReviewSource::gmail, .detail = "Fetching inbox threads"},
             {.source = ReviewSource::messages, .detail = "Nothing to count yet", .completed = 0, .total = 0},
             {.source = ReviewSource::gmail, .detail = "More done than planned", .completed = 45, .total = 40},
         }) {
        views.push_back(new RefreshBanner(progress));
    }
    return divided(views, 440);
}

QWidget* permissionRows() {
    const auto nothing = [] {};
    return divided({
        new PermissionRow({.icon = "person.crop.circle",
                           .title = "Contacts",
                           .detail = "Required contact access is available.",
                           .connected = true,
                           .stepLabel = "Contacts access \u00B7 Required"}),
        new PermissionRow({.icon = "message.fill",
                           .title = "Messages",
                           .detail = "Nudgerly reads the Messages database copied from a Mac. Put it at "
                                     "~/Library/Messages/chat.db, then check again.",
                           .primaryTitle = "Open Messages Folder",
                           .primary = nothing,
                           .secondaryTitle = "Check again",
                           .secondary = nothing}),
        new PermissionRow({.icon = "envelope.fill",
                           .title = "Gmail",
                           .detail = "Grant Contacts access before connecting Gmail.",
                           .primaryTitle = "Connect Gmail",
                           .primary = nothing,
                           .primaryEnabled = false}),
        new PermissionRow(
            {.icon = "arrow.triangle.2.circlepath",
             .title = "Software updates",
             .detail = "Version 1.0.0 (1) \u00B7 Updates come from your package manager. This row's detail goes on "
                       "for a while so that it wraps onto a second and a third line and makes the row taller, while "
                       "the icon and the button stay centred.",
             .connected = true,
             .primaryTitle = "Check Now",
             .primary = nothing}),
    });
}

QWidget* privacyRows() {
    return divided(
        {new PrivacyRow("lock.fill", "Messages stay on this computer",
                        "Message content is read from the local Messages database and never uploaded."),
         new PrivacyRow("cpu", "Classification runs locally",
                        "Nudgerly can download your selected 2.50 GB or 5.03 GB model over HTTPS, but conversation "
                        "content never goes to the download host or an internet inference service.")},
        440);
}

QWidget* statusLines() {
    auto* column = new QWidget;
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(12, 12, 12, 12);
    stack->setSpacing(10);
    stack->addWidget(new SidebarStatusLine({.label = "Messages", .value = "Today at 11:00 AM", .good = true}));
    stack->addWidget(new SidebarStatusLine({.label = "Gmail", .value = "Never refreshed"}));
    stack->addWidget(new SidebarStatusLine({.label = "Local AI", .value = "Basic mode", .neutral = true}));
    stack->addWidget(new SidebarStatusLine({.label = "A long label that wraps onto a second line",
                                            .value = "A long value that is cut to one line",
                                            .good = true}));
    column->setFixedWidth(205);
    return column;
}

// Every symbol of the table with its name, in the primary tone.
QWidget* symbols() {
    auto* grid = new QWidget;
    auto* cells = new QGridLayout(grid);
    cells->setContentsMargins(0, 0, 0, 0);
    cells->setHorizontalSpacing(6);
    cells->setVerticalSpacing(6);
    constexpr int columns = 3;
    int index = 0;
    for (const Symbols::SymbolSource& symbol : Symbols::table()) {
        auto* cell = new QHBoxLayout;
        cell->setSpacing(6);
        cell->addWidget(new SymbolView(symbol.name, Tone::primary, 20));
        auto* name = new ElidedLabel(TextStyle::caption2, Tone::secondary);
        name->setText(qtText(symbol.name));
        cell->addWidget(name, 1);
        cells->addLayout(cell, index / columns, index % columns);
        ++index;
    }
    return grid;
}

void addSection(QVBoxLayout& stack, const QString& title, QWidget* content) {
    stack.addWidget(new SectionLabel(title));
    stack.addWidget(content);
}

}  // namespace
}  // namespace nudgerly::test

NUDGERLY_SHOT(gallery,
              "The small shared views: queue rows, refresh banners, permission and privacy rows, "
              "sidebar status lines, and every symbol") {
    using namespace nudgerly;
    using namespace nudgerly::test;
    QWidget gallery;
    auto* columns = new QHBoxLayout(&gallery);
    columns->setContentsMargins(28, 28, 28, 28);
    columns->setSpacing(40);
    auto* left = new QVBoxLayout;
    left->setSpacing(10);
    left->addWidget(new PageHeader("Gallery", "The small shared views in their states."));
    addSection(*left, "Queue rows", rowsPreview());
    addSection(*left, "Refresh banners", banners());
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(10);
    addSection(*right, "Permission rows", permissionRows());
    addSection(*right, "Privacy rows", privacyRows());
    addSection(*right, "Sidebar status lines", statusLines());
    addSection(*right, "Symbols", symbols());
    right->addStretch(1);
    columns->addLayout(left);
    columns->addLayout(right, 1);
    constexpr int width = 1100;
    context.save(gallery, "gallery", QSize(width, gallery.heightForWidth(width)));
}
