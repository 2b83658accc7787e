#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QWidget>

class QPushButton;

namespace nudgerly {

class SymbolLabel;
class SymbolView;
class WrapLabel;

// What one card of the accounts page shows. A button is shown only when both its title and its action
// are present.
struct PermissionRowSpec {
    std::string icon;  // a symbol name
    std::string title;
    std::string detail;
    bool connected = false;  // the row is ready
    std::optional<std::string> primaryTitle;
    std::function<void()> primary;
    std::optional<std::string> secondaryTitle;
    std::function<void()> secondary;
    bool primaryEnabled = true;
    std::optional<std::string> stepLabel;  // a caption above the title, such as a step
};

// One card of the accounts page: the symbol (green when ready), the step caption, the title with its
// readiness label ("Ready" or "Needs setup"), the detail, and up to two buttons at the trailing edge.
// Updated in place by apply: absent buttons and captions are hidden, never destroyed. Children:
// "icon", "stepLabel", "titleLabel", "readinessLabel", "detailLabel", "secondaryButton",
// "primaryButton".
class PermissionRow : public QWidget {
    Q_OBJECT

public:
    explicit PermissionRow(PermissionRowSpec details = {}, QWidget* parent = nullptr);

    void apply(PermissionRowSpec details);

private:
    PermissionRowSpec details_;
    SymbolView* icon_ = nullptr;
    WrapLabel* step_ = nullptr;
    WrapLabel* title_ = nullptr;
    SymbolLabel* readiness_ = nullptr;
    WrapLabel* detail_ = nullptr;
    QPushButton* secondary_ = nullptr;
    QPushButton* primary_ = nullptr;
};

}  // namespace nudgerly
