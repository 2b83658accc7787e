#pragma once

#include <functional>
#include <memory>

#include "core/MainTask.h"
#include "state/GmailSource.h"
#include "state/StateContext.h"

namespace nudgerly {

// The state object's one Gmail account: the Gmail service, the browser sign-in the user can cancel
// and the disconnect. A new connection is published and followed at once by a Gmail refresh. Main
// thread only.
class GmailConnection {
public:
    struct Hooks {
        std::function<void()> refreshGmail;        // a refresh of the newly connected account
        std::function<void()> cancelGmailRefresh;  // the running Gmail refresh stops before a disconnect
    };

    GmailConnection(StateContext context, std::shared_ptr<GmailSource> gmail, Hooks hooks);
    GmailConnection(const GmailConnection&) = delete;
    GmailConnection& operator=(const GmailConnection&) = delete;

    const std::shared_ptr<GmailSource>& service() const { return gmail_; }

    // The sign-in, once the model choice and Contacts access were checked.
    void connectGmail();
    void cancelGmailAuthorization();
    // Ends a waiting sign-in without a word.
    void cancelGmailAuthorizationTask();
    void disconnectGmail();

private:
    const PublishedState& state() const { return context_.state(); }
    StatePublisher& publisher() { return context_.publisher; }
    StatusLines& lines() { return context_.lines; }
    MainTask gmailAuthorizationRun(TaskHandle task, bool wasConnected);
    MainTask gmailDisconnectRun(TaskHandle task);

    StateContext context_;
    std::shared_ptr<GmailSource> gmail_;
    Hooks hooks_;
    TaskHandle gmailAuthorizationTask_;
};

}  // namespace nudgerly
