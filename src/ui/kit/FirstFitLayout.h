#pragma once

#include <vector>

#include <QLayout>

namespace nudgerly {

// A layout that knows several arrangements of the same widgets and shows the first whose ideal width
// fits the width it is given, or the last when none does. An arrangement is a list of rows, top to
// bottom; a row lists widgets by the order they were added, left to right. Widgets keep their ideal
// size, rows are centred vertically and leading-aligned, and hidden widgets take no room anywhere.
//
//   auto* fit = new FirstFitLayout(container);
//   fit->addWidget(button);                      // 0
//   fit->addWidget(label);                       // 1
//   fit->addArrangement({{0, 1}});               // side by side
//   fit->addArrangement({{0}, {1}});             // stacked
class FirstFitLayout : public QLayout {
    Q_OBJECT

public:
    using Row = std::vector<int>;
    using Arrangement = std::vector<Row>;

    explicit FirstFitLayout(QWidget* parent = nullptr);
    ~FirstFitLayout() override;

    // Every arrangement should place every widget once.
    void addArrangement(Arrangement arrangement);
    void setHorizontalSpacing(int spacing);
    void setVerticalSpacing(int spacing);

    // The arrangement used for `width` (of the whole layout, margins included).
    int arrangementForWidth(int width) const;
    // The arrangement of the last geometry the layout was given.
    int currentArrangement() const { return current_; }

    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& rect) override;

private:
    // The widest row, its items measured by `measure` (ideal or minimum size).
    int widthOf(const Arrangement& arrangement, QSize (QLayoutItem::*measure)() const) const;
    int heightOf(const Arrangement& arrangement, int innerWidth) const;
    // Places the items (when `apply`) and returns the height used.
    int place(const Arrangement& arrangement, const QRect& area, bool apply) const;

    std::vector<QLayoutItem*> items_;
    std::vector<Arrangement> arrangements_;
    int horizontalSpacing_ = 8;
    int verticalSpacing_ = 8;
    int current_ = 0;
};

}  // namespace nudgerly
