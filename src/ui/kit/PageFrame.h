#pragma once

#include <QScrollArea>
#include <QVBoxLayout>

namespace nudgerly {

// The frame of a full page: a vertical scroll view holding one leading-aligned column, at most 800
// pixels wide, padded by 28, whose blocks sit `spacing` apart from the top down.
class PageFrame : public QScrollArea {
    Q_OBJECT

public:
    explicit PageFrame(int spacing, QWidget* parent = nullptr);

    // Appends a block to the column; the frame takes the widget.
    void addBlock(QWidget* block);
    QWidget& column() const { return *column_; }

private:
    QWidget* column_ = nullptr;
    QVBoxLayout* blocks_ = nullptr;
};

}  // namespace nudgerly
