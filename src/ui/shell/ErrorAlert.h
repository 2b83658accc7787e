#pragma once

#include <QObject>
#include <QPointer>

#include "ui/kit/ConfirmDialog.h"

namespace nudgerly {

class StateBridge;

// The window's one alert for the state object's error message, titled "Nudgerly". It opens when a
// message appears, shows later messages in place and closes when the message clears. Its buttons are
// chosen when it opens: while a Gmail sign-in waits, "Cancel authorization" and "Keep waiting",
// otherwise "OK". However it is dismissed, the message is cleared.
class ErrorAlert : public QObject {
    Q_OBJECT

public:
    ErrorAlert(StateBridge& bridge, QWidget& window);

    // The open alert, or null.
    ConfirmDialog* dialog() const { return dialog_; }

private:
    void sync();
    void open(const QString& message);

    StateBridge& bridge_;
    QWidget& window_;
    QPointer<ConfirmDialog> dialog_;
    bool closingForState_ = false;
};

}  // namespace nudgerly
