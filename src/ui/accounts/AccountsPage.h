#pragma once

#include <QPointer>

#include "state/AppStateView.h"
#include "ui/kit/PageFrame.h"

namespace nudgerly {

class GmailConnectionGuide;
class LocalAIModelRow;
class PermissionRow;
class StateBridge;
class UpdateController;

// The setup page: choose the Local AI setup, allow Contacts, connect Messages and Gmail, and see the
// software's version. Every text and enabling rule follows the state in place; every button is an
// operation of the state object or a check of the updater. Both the main window and the settings window
// show one, on the same state. Children: "modelRow", "contactsRow", "messagesRow", "gmailRow",
// "updatesRow".
class AccountsPage : public PageFrame {
    Q_OBJECT

public:
    AccountsPage(AppStateView& state, UpdateController& updates, QWidget* parent = nullptr);

    // The Gmail connection guide while it is open, or null.
    GmailConnectionGuide* connectionGuide() const { return guide_; }

private:
    void sync();
    void openConnectionGuide();

    AppStateView& state_;
    UpdateController& updates_;
    StateBridge* bridge_ = nullptr;
    LocalAIModelRow* modelRow_ = nullptr;
    PermissionRow* contactsRow_ = nullptr;
    PermissionRow* messagesRow_ = nullptr;
    PermissionRow* gmailRow_ = nullptr;
    PermissionRow* updatesRow_ = nullptr;
    QPointer<GmailConnectionGuide> guide_;
};

}  // namespace nudgerly
