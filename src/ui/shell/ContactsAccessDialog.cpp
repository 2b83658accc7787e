#include "ui/shell/ContactsAccessDialog.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "core/MainQueue.h"
#include "ui/kit/ConfirmDialog.h"

namespace nudgerly {
namespace {

// The user's answer, given once on the main thread and awaited on the worker.
struct Answer {
    std::mutex mutex;
    std::condition_variable_any given;
    std::optional<bool> allowed;

    void give(bool value) {
        {
            const std::lock_guard lock(mutex);
            if (allowed) {
                return;
            }
            allowed = value;
        }
        given.notify_all();
    }
};

}  // namespace

bool ContactsAccessDialog::askForContactsAccess(std::stop_token stop) {
    auto answer = std::make_shared<Answer>();
    mainQueue_.post([this, answer] {
        ConfirmDialog* dialog = ConfirmDialog::present(
            window_, QStringLiteral("Allow Nudgerly to read your contacts?"),
            QStringLiteral("Nudgerly uses your contacts to name the people in your conversations and to keep the "
                           "queue to people you know. They never leave this computer."),
            {{QStringLiteral("Don\u2019t Allow"), ConfirmButton::Role::cancel, nullptr},
             {QStringLiteral("Allow"), ConfirmButton::Role::none, [answer] { answer->give(true); }}});
        QObject::connect(dialog, &QDialog::finished, [answer] { answer->give(false); });
    });
    std::unique_lock lock(answer->mutex);
    answer->given.wait(lock, stop, [&] { return answer->allowed.has_value(); });
    return answer->allowed.value_or(false);
}

}  // namespace nudgerly
