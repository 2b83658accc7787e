#pragma once

#include <functional>
#include <vector>

#include <QMessageBox>

namespace nudgerly {

// One button of a confirmation dialog.
struct ConfirmButton {
    enum class Role { none, cancel, destructive };

    QString title;
    Role role = Role::none;
    std::function<void()> action;  // a cancel button's action is never run
};

// A confirmation: its title always shown, then the message, then the buttons in order. The button
// with the cancel role closes the dialog and does nothing else; it answers Escape, and is the
// default button wherever a destructive one is offered. Destructive buttons are drawn red. Both
// texts are shown as plain text. Any button runs its action and closes the dialog.
class ConfirmDialog : public QMessageBox {
    Q_OBJECT

public:
    ConfirmDialog(const QString& title, const QString& message, std::vector<ConfirmButton> buttons,
                  QWidget* parent = nullptr);

    // Shows a dialog that deletes itself when closed, modal to its window, and returns it.
    static ConfirmDialog* present(QWidget* parent, const QString& title, const QString& message,
                                  std::vector<ConfirmButton> buttons);

    // The button with this title, or null.
    QPushButton* buttonTitled(const QString& title) const;

    // Shows another title and message. The box stays at least 420 wide, so that its message wraps
    // between words rather than inside names.
    void setTexts(const QString& title, const QString& message);

private:
    std::vector<std::pair<QAbstractButton*, ConfirmButton>> buttons_;
};

}  // namespace nudgerly
