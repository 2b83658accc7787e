#pragma once

#include <string_view>

#include <QWidget>

namespace nudgerly {

class SymbolView;
class WrapLabel;

// One explanatory row of the privacy page: a symbol, a title and a detail that wraps onto as many
// lines as it needs. Children: "icon", "titleLabel", "detailLabel".
class PrivacyRow : public QWidget {
    Q_OBJECT

public:
    PrivacyRow(std::string_view icon, const QString& title, const QString& detail, QWidget* parent = nullptr);

private:
    SymbolView* icon_ = nullptr;
    WrapLabel* title_ = nullptr;
    WrapLabel* detail_ = nullptr;
};

}  // namespace nudgerly
