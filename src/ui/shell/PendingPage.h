#pragma once

#include <QWidget>

namespace nudgerly {

// Holds the place of a page this build does not have yet: one secondary line in its middle.
class PendingPage : public QWidget {
    Q_OBJECT

public:
    explicit PendingPage(const QString& text, QWidget* parent = nullptr);
};

}  // namespace nudgerly
