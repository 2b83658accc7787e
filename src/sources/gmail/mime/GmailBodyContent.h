#pragma once

#include <string>

namespace nudgerly {

// A decoded message body and whether it came from an HTML part.
struct GmailBodyContent {
    std::string text;
    bool isHTML = false;

    friend bool operator==(const GmailBodyContent&, const GmailBodyContent&) = default;
};

}  // namespace nudgerly
