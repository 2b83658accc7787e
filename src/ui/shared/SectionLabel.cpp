#include "ui/shared/SectionLabel.h"

namespace nudgerly {

SectionLabel::SectionLabel(const QString& title, QWidget* parent)
    : WrapLabel(TextStyle::subheadline, Tone::secondary, parent) {
    setTextStyle(TextStyle::subheadline, FontWeight::semibold);
    setText(title);
}

}  // namespace nudgerly
