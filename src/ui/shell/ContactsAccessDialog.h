#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/contacts/ContactsAccessPrompt.h"

namespace nudgerly {

class MainQueue;

// Asks the Contacts question in a dialog over the main window. The asking worker waits for the answer;
// closing the dialog without choosing counts as not allowing.
class ContactsAccessDialog final : public ContactsAccessPrompt {
public:
    explicit ContactsAccessDialog(MainQueue& mainQueue) : mainQueue_(mainQueue) {}

    // The window the dialog belongs to. Main thread.
    void setWindow(QWidget* window) { window_ = window; }

    bool askForContactsAccess(std::stop_token stop) override;

private:
    MainQueue& mainQueue_;
    QPointer<QWidget> window_;  // read and written on the main thread only
};

}  // namespace nudgerly
