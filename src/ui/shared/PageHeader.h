#pragma once

#include <QWidget>

namespace nudgerly {

class WrapLabel;

// The opening of a full page: its title and a line of explanation. Children: "titleLabel",
// "detailLabel".
class PageHeader : public QWidget {
    Q_OBJECT

public:
    PageHeader(const QString& title, const QString& detail, QWidget* parent = nullptr);

private:
    WrapLabel* title_ = nullptr;
    WrapLabel* detail_ = nullptr;
};

}  // namespace nudgerly
