#pragma once

#include <array>

#include <signal.h>

#include "core/UniqueFd.h"

namespace nudgerly {

// SIGINT and SIGTERM, caught from the moment this is made until it goes: the handler only writes a byte
// to a pipe, which the window's termination controller reads once its event loop runs and turns into a
// quit request. Made first thing in main, a signal that arrives while the program starts waits for its
// shutdown instead of ending it in the middle of the start. One per process at a time.
class TerminationSignals {
public:
    // Throws std::system_error when the pipe cannot be made.
    TerminationSignals();
    // Puts the previous handlers back.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Readable once a signal has arrived.
    int descriptor() const { return readEnd_.get(); }
    // Empties the pipe; true when a signal had arrived since the last call.
    bool takeArrivals();

private:
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    std::array<struct sigaction, 2> previousHandlers_{};
};

}  // namespace nudgerly
