#pragma once

#include <optional>
#include <string>

namespace nudgerly {

struct GmailConnectionStatus {
    bool configured = false;  // an OAuth client configuration was found
    bool connected = false;   // tokens are held for an account
    std::optional<std::string> email;

    friend bool operator==(const GmailConnectionStatus&, const GmailConnectionStatus&) = default;
};

}  // namespace nudgerly
