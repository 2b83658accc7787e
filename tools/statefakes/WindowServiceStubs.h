#pragma once

#include <optional>
#include <stop_token>
#include <string>

#include "services/FeedbackSender.h"
#include "services/Updater.h"

// The main window's outward services, doing nothing: for windows built by tests and the screenshot
// tool, where no update check or feedback report may leave the machine.
namespace nudgerly::test {

class NoUpdater final : public Updater {
public:
    void start() override {}
    std::optional<std::string> checkForUpdates() override { return std::nullopt; }
};

class NoSender final : public FeedbackSender {
public:
    FeedbackReceipt submit(const FeedbackSubmission&, std::stop_token) const override { return {}; }
};

}  // namespace nudgerly::test
