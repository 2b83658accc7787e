#include "ui/shared/UpdateCheck.h"

#include "services/UpdateController.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/PlainText.h"

namespace nudgerly {

void checkForUpdates(UpdateController& updates, QWidget* parent) {
    if (const std::optional<std::string> answer = updates.checkForUpdates()) {
        ConfirmDialog::present(parent, QStringLiteral("Software Updates"), qtText(*answer),
                               {{QStringLiteral("OK"), ConfirmButton::Role::none, {}}});
    }
}

}  // namespace nudgerly
