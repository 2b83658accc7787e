#pragma once

#include "state/Clipboard.h"

namespace nudgerly {

// The desktop's clipboard, through Qt. Main thread only.
class QtClipboard final : public Clipboard {
public:
    void setText(const std::string& text) override;
};

}  // namespace nudgerly
