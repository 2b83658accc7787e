#include "ui/shell/SidebarRowDelegate.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/kit/ElidedText.h"
#include "ui/kit/Look.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/TextStyle.h"
#include "ui/shell/Sidebar.h"

namespace nudgerly {
namespace {

constexpr int rowHeight = 28;
constexpr int headerHeight = 26;
constexpr int horizontalPadding = 10;
constexpr int spacing = 8;

// The window's font draws every digit at one width, so counts line up as they change.
QFont countFont() {
    return fontFor(TextStyle::caption);
}

}  // namespace

QSize SidebarRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const bool header = index.data(Sidebar::headerRole).toBool();
    return {option.rect.width(), header ? headerHeight : rowHeight};
}

void SidebarRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect area = option.rect.adjusted(horizontalPadding, 0, -horizontalPadding, 0);
    const QString label = index.data(Qt::DisplayRole).toString();

    if (index.data(Sidebar::headerRole).toBool()) {
        const QFont font = fontFor(TextStyle::caption, FontWeight::semibold);
        painter->setFont(font);
        painter->setPen(Look::color(Tone::secondary));
        const QRect text = area.adjusted(0, 0, 0, -4);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine, label);
        painter->restore();
        return;
    }

    const bool selected = option.state.testFlag(QStyle::State_Selected);
    if (selected) {
        QPainterPath background;
        background.addRoundedRect(QRectF(option.rect.adjusted(4, 1, -4, -1)), 6, 6);
        painter->fillPath(background, Look::withOpacity(Look::color(Tone::accent), 0.16));
    }
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        Look::paintFocusRing(*painter, QRectF(option.rect.adjusted(4, 1, -4, -1)), 6);
    }

    const QFont font = fontFor(TextStyle::body);
    const int glyph = Symbols::sizeForText(font.pixelSize());
    const QString symbol = index.data(Sidebar::symbolRole).toString();
    const QPixmap picture =
        Symbols::tinted(symbol.toStdString(), Look::color(Tone::accent), glyph, painter->device()->devicePixelRatioF());
    const QRect symbolRect(area.left(), area.center().y() - glyph / 2, glyph, glyph);
    painter->drawPixmap(symbolRect, picture);

    int textRight = area.right();
    const QVariant count = index.data(Sidebar::countRole);
    if (count.isValid()) {
        const QFont digits = countFont();
        const QString text = count.toString();
        const int width = QFontMetrics(digits).horizontalAdvance(text);
        painter->setFont(digits);
        painter->setPen(Look::color(Tone::tertiary));
        painter->drawText(QRect(area.right() - width, area.top(), width, area.height()),
                          Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, text);
        textRight -= width + spacing;
    }

    const int textLeft = symbolRect.right() + 1 + spacing;
    const ElidedText lines = elideText(label, font, textRight - textLeft, 1);
    painter->setPen(option.palette.color(QPalette::WindowText));
    const int lineHeight = linesHeight(font, 1);
    drawLines(*painter, QRect(textLeft, area.center().y() - lineHeight / 2, textRight - textLeft, lineHeight), font,
              lines.lines);
    painter->restore();
}

}  // namespace nudgerly
