#include "ui/kit/ConfirmDialog.h"

#include <QLabel>
#include <QPushButton>

#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/TextStyle.h"

namespace nudgerly {
namespace {

QMessageBox::ButtonRole messageBoxRole(ConfirmButton::Role role, bool firstPlain) {
    switch (role) {
        case ConfirmButton::Role::cancel: return QMessageBox::RejectRole;
        case ConfirmButton::Role::destructive: return QMessageBox::DestructiveRole;
        case ConfirmButton::Role::none: return firstPlain ? QMessageBox::AcceptRole : QMessageBox::ActionRole;
    }
    return QMessageBox::ActionRole;
}

}  // namespace

ConfirmDialog::ConfirmDialog(const QString& title, const QString& message, std::vector<ConfirmButton> buttons,
                             QWidget* parent)
    : QMessageBox(parent) {
    setWindowTitle(title);
    setIcon(QMessageBox::NoIcon);
    setTextFormat(Qt::PlainText);
    setText(title);
    setInformativeText(message);
    // The informative label is made on first use and left to guess its format: fix it to plain.
    if (auto* informative = findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setTextFormat(Qt::PlainText);
        informative->setOpenExternalLinks(false);
    }
    if (auto* heading = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        heading->setFont(fontFor(TextStyle::headline));
    }

    QPushButton* cancel = nullptr;
    QPushButton* firstPlain = nullptr;
    bool destructive = false;
    for (ConfirmButton& details : buttons) {
        const bool first = details.role == ConfirmButton::Role::none && !firstPlain;
        QPushButton* button = addButton(nudgerly::buttonText(details.title), messageBoxRole(details.role, first));
        if (details.role == ConfirmButton::Role::cancel && !cancel) {
            cancel = button;
        }
        if (first) {
            firstPlain = button;
        }
        if (details.role == ConfirmButton::Role::destructive) {
            Look::setDestructive(*button);
            destructive = true;
        }
        buttons_.emplace_back(button, std::move(details));
    }
    if (cancel) {
        setEscapeButton(cancel);
    }
    if (destructive && cancel) {
        setDefaultButton(cancel);
    } else if (firstPlain) {
        setDefaultButton(firstPlain);
    }

    connect(this, &QMessageBox::buttonClicked, this, [this](QAbstractButton* clicked) {
        for (const auto& [button, details] : buttons_) {
            if (button == clicked && details.role != ConfirmButton::Role::cancel && details.action) {
                details.action();
            }
        }
    });
}

ConfirmDialog* ConfirmDialog::present(QWidget* parent, const QString& title, const QString& message,
                                      std::vector<ConfirmButton> buttons) {
    auto* dialog = new ConfirmDialog(title, message, std::move(buttons), parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    return dialog;
}

QPushButton* ConfirmDialog::buttonTitled(const QString& title) const {
    for (const auto& [button, details] : buttons_) {
        if (details.title == title) {
            return qobject_cast<QPushButton*>(button);
        }
    }
    return nullptr;
}

}  // namespace nudgerly
