#pragma once

#include "ui/kit/WrapLabel.h"

namespace nudgerly {

// The caption above a group of cards on a full page.
class SectionLabel : public WrapLabel {
    Q_OBJECT

public:
    explicit SectionLabel(const QString& title, QWidget* parent = nullptr);
};

}  // namespace nudgerly
