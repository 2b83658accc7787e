#include "state/StatusLines.h"

#include <optional>
#include <utility>

namespace nudgerly {

void StatusLines::showActivity(std::string line) {
    assertMainThread(mainQueue_);
    publisher_.setActivity(std::move(line));
}

void StatusLines::showError(std::string sentence) {
    assertMainThread(mainQueue_);
    publisher_.setErrorMessage(std::move(sentence));
}

void StatusLines::clearError() {
    assertMainThread(mainQueue_);
    publisher_.setErrorMessage(std::nullopt);
}

}  // namespace nudgerly
