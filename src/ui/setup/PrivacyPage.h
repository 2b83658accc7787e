#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/PageFrame.h"

class QPushButton;

namespace nudgerly {

class StateBridge;

// The privacy page: how message content is treated, and the deletion of the saved local data
// ("deleteLocalDataButton", disabled while anything refreshes or data are being deleted), which asks for
// confirmation first.
class PrivacyPage : public PageFrame {
    Q_OBJECT

public:
    explicit PrivacyPage(StateBridge& bridge, QWidget* parent = nullptr);

    // The open confirmation, or null.
    ConfirmDialog* confirmation() const { return confirmation_; }

private:
    void confirmDeletion();
    void sync();

    StateBridge& bridge_;
    QPushButton* deleteButton_ = nullptr;
    QPointer<ConfirmDialog> confirmation_;
};

}  // namespace nudgerly
