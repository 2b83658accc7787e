#pragma once

#include <string>

#include <sys/types.h>

namespace nudgerly::test {

// A private X server (Xvfb) for one test program, on a display number the server picks itself, so
// that test programs running side by side never meet. It ends when this object goes, and on its own
// once its last client has gone (a crashed test program included). Throws std::runtime_error when the
// server cannot be started: a missing Xvfb fails the test rather than skipping it.
class XvfbServer {
public:
    explicit XvfbServer(const std::string& screenSize = "1400x1000x24");
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":<number>", for DISPLAY.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = 0;
    std::string display_;
};

}  // namespace nudgerly::test
