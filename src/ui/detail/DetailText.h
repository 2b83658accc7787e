#pragma once

#include <QString>
#include <QVBoxLayout>

#include "ui/kit/RoundedBox.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {

// Body text of the detail pane that the user can select and copy, never cut: message, summary and
// suggested reply.
inline WrapLabel* selectableText(const QString& objectName, QWidget* parent) {
    auto* label = new WrapLabel(TextStyle::body, Tone::primary, parent);
    label->setObjectName(objectName);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setCursor(Qt::IBeamCursor);
    return label;
}

// Puts `content` into `box`, inside the box's padding (its contents margins).
inline void fill(RoundedBox& box, QWidget* content) {
    auto* layout = new QVBoxLayout(&box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
}

}  // namespace nudgerly
