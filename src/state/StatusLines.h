#pragma once

#include <string>

#include "core/MainQueue.h"
#include "state/StatePublisher.h"

namespace nudgerly {

// The two lines the window shows of what the program did: the `activity` line under the queue and
// the `errorMessage` sentence of the alert. Every write of either goes through here, so what they
// show is decided in one place. Main thread only.
class StatusLines {
public:
    StatusLines(StatePublisher& publisher, MainQueue& mainQueue) : publisher_(publisher), mainQueue_(mainQueue) {}
    StatusLines(const StatusLines&) = delete;
    StatusLines& operator=(const StatusLines&) = delete;

    // The activity line becomes `line`.
    void showActivity(std::string line);
    // The alert shows `sentence`, in place of any sentence it showed.
    void showError(std::string sentence);
    // The alert shows nothing: the user closed it, or what it said no longer holds.
    void clearError();

private:
    StatePublisher& publisher_;
    MainQueue& mainQueue_;
};

}  // namespace nudgerly
