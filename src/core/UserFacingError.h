#pragma once

#include <stdexcept>
#include <string>

namespace nudgerly {

// Base of every error that reaches the window: what() is the finished English sentence the user sees.
class UserFacingError : public std::runtime_error {
public:
    explicit UserFacingError(const std::string& sentence) : std::runtime_error(sentence) {}
};

}  // namespace nudgerly
