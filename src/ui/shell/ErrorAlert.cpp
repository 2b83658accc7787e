#include "ui/shell/ErrorAlert.h"

#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/StateBridge.h"

namespace nudgerly {

ErrorAlert::ErrorAlert(StateBridge& bridge, QWidget& window) : QObject(&window), bridge_(bridge), window_(window) {
    connect(&bridge_, &StateBridge::changed, this, [this](const StateFieldSet& changed) {
        if (changed.contains(StateField::errorMessage)) {
            sync();
        }
    });
    sync();
}

void ErrorAlert::sync() {
    const auto& message = bridge_.state().state().errorMessage;
    if (message && !dialog_) {
        open(qtText(*message));
    } else if (message) {
        dialog_->setTexts(QStringLiteral("Nudgerly"), qtText(*message));
    } else if (dialog_) {
        // The message is gone already: closing must not clear a newer one.
        closingForState_ = true;
        dialog_->done(QDialog::Rejected);
        closingForState_ = false;
    }
}

void ErrorAlert::open(const QString& message) {
    AppStateView& state = bridge_.state();
    std::vector<ConfirmButton> buttons;
    if (state.state().gmailAuthorizationInProgress) {
        buttons.push_back(
            {"Cancel authorization", ConfirmButton::Role::destructive, [&state] { state.cancelGmailAuthorization(); }});
        buttons.push_back({"Keep waiting", ConfirmButton::Role::cancel, nullptr});
    } else {
        buttons.push_back({"OK", ConfirmButton::Role::cancel, nullptr});
    }
    dialog_ = ConfirmDialog::present(&window_, QStringLiteral("Nudgerly"), message, std::move(buttons));
    connect(dialog_, &QDialog::finished, this, [this, &state] {
        dialog_.clear();  // it deletes itself; the next message opens a new one
        if (!closingForState_) {
            state.dismissError();
        }
    });
}

}  // namespace nudgerly
