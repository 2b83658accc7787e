#pragma once

#include <vector>

#include <QWidget>

#include "ui/shared/EmptyStateSpec.h"

class QBoxLayout;
class QPushButton;

namespace nudgerly {

class SymbolView;
class WrapLabel;

// Why a pane is empty and what to do next: a symbol and title, a description that wraps, and the
// buttons it was given, anchored at the top leading corner, at most 380 wide. The first-scan note has
// no symbol, buttons or width limit. Shows only what it is given; a press reports the button's action.
// Children: "placeholderSymbol", "placeholderTitle", "placeholderDescription", and one push button
// per button given.
class PanePlaceholder : public QWidget {
    Q_OBJECT

public:
    explicit PanePlaceholder(QWidget* parent = nullptr);

    // Updates the view in place; buttons are reused, extra ones hidden.
    void apply(const EmptyStateSpec& details);
    const EmptyStateSpec& details() const { return details_; }

signals:
    void actionTriggered(const nudgerly::EmptyStateAction& action);

private:
    EmptyStateSpec details_;
    QWidget* content_ = nullptr;
    QBoxLayout* stack_ = nullptr;
    SymbolView* symbol_ = nullptr;
    WrapLabel* title_ = nullptr;
    WrapLabel* description_ = nullptr;
    QWidget* buttonRow_ = nullptr;
    std::vector<QPushButton*> buttons_;
};

}  // namespace nudgerly
