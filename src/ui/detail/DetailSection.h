#pragma once

#include <QWidget>

namespace nudgerly {

class WrapLabel;

// A titled block of the detail pane: the title in the headline style over its content, across the
// full width, 18 above and below. Child "titleLabel"; the content keeps its own name.
class DetailSection : public QWidget {
    Q_OBJECT

public:
    // Takes `content`.
    DetailSection(const QString& title, QWidget* content, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const;

private:
    WrapLabel* title_ = nullptr;
};

}  // namespace nudgerly
