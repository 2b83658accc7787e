#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "review/LookbackWindow.h"
#include "review/ReviewSource.h"

namespace nudgerly {

// The ticket of one refresh run: every later step of the run, and its progress callbacks, compare it
// with the state object to learn whether the run still counts.
struct OperationContext {
    ReviewSource source = ReviewSource::messages;
    LookbackWindow lookback = LookbackWindow::seven;  // the days to read
    int64_t generation = 0;                           // the source's generation number taken for this run
    int64_t contactsRevision = 0;                     // the Contacts revision when the run began
    std::optional<std::string> contactsHistoryToken;  // the Contacts store's token then; none when it gave none

    friend bool operator==(const OperationContext&, const OperationContext&) = default;
};

// What a successful source read hands back to its refresh run.
struct SourceRefreshResult {
    std::optional<std::string> sourceWarning;  // the reader's warning about its batch; never for Messages
    std::optional<std::string> modelIssue;     // the model run report's issue after a fallback
    std::optional<std::string> saveFailure;    // the queue is shown but its file could not be written

    // Every text present, the source's first, one line each; none when there is none.
    std::optional<std::string> userWarning() const {
        std::optional<std::string> lines;
        for (const auto& text : {sourceWarning, saveFailure, modelIssue}) {
            if (text) {
                lines = lines ? *lines + "\n" + *text : *text;
            }
        }
        return lines;
    }

    friend bool operator==(const SourceRefreshResult&, const SourceRefreshResult&) = default;
};

}  // namespace nudgerly
