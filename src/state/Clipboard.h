#pragma once

#include <string>

namespace nudgerly {

// The system clipboard; the window provides it. Main thread only.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Replaces the clipboard's contents with plain text.
    virtual void setText(const std::string& text) = 0;
};

}  // namespace nudgerly
