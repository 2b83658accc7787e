#include "ui/kit/ConfirmDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>

#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/TextStyle.h"

namespace nudgerly {
namespace {

// Left to itself the box is as narrow as its buttons, and its message breaks names and words apart.
constexpr int minimumDialogWidth = 420;

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
    setIcon(QMessageBox::NoIcon);
    setTextFormat(Qt::PlainText);
    setTexts(title, message);
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

void ConfirmDialog::setTexts(const QString& title, const QString& message) {
    setWindowTitle(title);
    setText(title);
    setInformativeText(message);
    // The informative label is made on first use and left to guess its format: fix it to plain.
    if (auto* informative = findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setTextFormat(Qt::PlainText);
        informative->setOpenExternalLinks(false);
    }
    // The box takes its width from its layout's minimum, so a strut across its grid keeps it wide. A
    // new informative text lays the box out in a new grid, which needs its own.
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (!grid) {
        return;
    }
    const QMargins margins = grid->contentsMargins();
    const int strutWidth = minimumDialogWidth - margins.left() - margins.right();
    bool widened = false;
    for (int index = 0; index < grid->count(); ++index) {
        const QSpacerItem* spacer = grid->itemAt(index)->spacerItem();
        widened = widened || (spacer && spacer->sizeHint().width() == strutWidth);
    }
    if (!widened) {
        grid->addItem(new QSpacerItem(strutWidth, 0, QSizePolicy::Fixed, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
        if (isVisible()) {
            setText(title);  // sizes the shown box again, now with the strut
        }
    }
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
