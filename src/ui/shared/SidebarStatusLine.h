#pragma once

#include <string>

#include <QWidget>

#include "ui/kit/Tone.h"

namespace nudgerly {

class ElidedLabel;
class RoundedBox;
class WrapLabel;

struct SidebarStatusLineSpec {
    std::string label;
    std::string value;
    bool good = false;
    bool neutral = false;

    friend bool operator==(const SidebarStatusLineSpec&, const SidebarStatusLineSpec&) = default;
};

// One status line at the foot of the sidebar: a coloured dot, the label (it wraps) and the value on
// one line. Updated in place by apply. Children: "dot", "label", "valueLabel".
class SidebarStatusLine : public QWidget {
    Q_OBJECT

public:
    explicit SidebarStatusLine(const SidebarStatusLineSpec& details = {}, QWidget* parent = nullptr);

    void apply(const SidebarStatusLineSpec& details);

    // Neutral wins over good: secondary; else good green; else orange.
    static Tone dotTone(bool good, bool neutral);

private:
    RoundedBox* dot_ = nullptr;
    WrapLabel* label_ = nullptr;
    ElidedLabel* value_ = nullptr;
};

}  // namespace nudgerly
