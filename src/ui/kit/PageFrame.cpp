#include "ui/kit/PageFrame.h"

#include <QHBoxLayout>

namespace nudgerly {
namespace {

constexpr int columnMaximumWidth = 800;
constexpr int pagePadding = 28;

}  // namespace

PageFrame::PageFrame(int spacing, QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Window);

    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(pagePadding, pagePadding, pagePadding, pagePadding);
    row->setSpacing(0);
    column_ = new QWidget(page);
    column_->setObjectName(QStringLiteral("pageColumn"));
    column_->setMaximumWidth(columnMaximumWidth);
    blocks_ = new QVBoxLayout(column_);
    blocks_->setContentsMargins(0, 0, 0, 0);
    blocks_->setSpacing(spacing);
    blocks_->addStretch(1);  // the blocks keep to the top
    row->addWidget(column_, 1);
    row->addStretch(0);  // past the column's widest, the room is left empty at the trailing side
    setWidget(page);
}

void PageFrame::addBlock(QWidget* block) {
    blocks_->insertWidget(blocks_->count() - 1, block);
}

}  // namespace nudgerly
