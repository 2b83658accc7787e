#pragma once

#include <exception>

namespace nudgerly {

// Thrown when the calling task was asked to stop. It is never shown to the user: callers either let
// it end their own work or turn it into an early, quiet return.
class CancelledError : public std::exception {
public:
    const char* what() const noexcept override { return "The operation was cancelled."; }
};

}  // namespace nudgerly
