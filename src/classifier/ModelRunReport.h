#pragma once

#include <optional>
#include <string>

namespace nudgerly {

// What a classification run reports back: whether Local AI answered at least once, and the one model
// problem worth telling the user about, with its diagnostic code.
struct ModelRunReport {
    bool usedLocalModel = false;
    std::optional<std::string> issue;           // the user's sentence
    std::optional<std::string> diagnosticCode;  // short machine-readable code

    friend bool operator==(const ModelRunReport&, const ModelRunReport&) = default;
};

}  // namespace nudgerly
