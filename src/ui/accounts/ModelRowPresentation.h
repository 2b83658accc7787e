#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modelpacks/ModelPack.h"
#include "platform/contacts/ContactsPermission.h"
#include "state/PublishedState.h"
#include "ui/kit/Tone.h"

// What the Local AI card shows, worked out afresh from the published state on every change: the
// status line, the detail sentence, the progress indicator, the buttons and the texts of its
// confirmations. Removal and switching take over the status, detail and progress; the buttons follow
// the download state alone. A model file named by the environment stands in for the download state:
// it is in use whatever pack is selected.
namespace nudgerly {

struct ModelStatus {
    std::string label;
    std::string symbol;
    Tone tone = Tone::secondary;

    friend bool operator==(const ModelStatus&, const ModelStatus&) = default;
};

struct ModelProgress {
    enum class Kind { none, bar, spinner };

    Kind kind = Kind::none;
    double fraction = 0;  // of a bar, 0...1
    std::string accessibleName;
    std::string accessibleValue;  // a bar's byte counts

    friend bool operator==(const ModelProgress&, const ModelProgress&) = default;
};

// What a button of the card does when pressed.
enum class ModelAction {
    confirmDownload,  // asks before downloading
    pause,
    resume,
    confirmCancel,  // asks before dropping the partial download
    retry,
    refreshQueue,
    confirmRemove,     // asks before removing the download or the model
    confirmBasicMode,  // warns before Basic Mode
};

struct ModelButton {
    enum class Style { plain, prominent };
    enum class Role { none, destructive };

    std::string text;
    Style style = Style::plain;
    Role role = Role::none;
    bool enabled = true;
    ModelAction action = ModelAction::confirmDownload;

    friend bool operator==(const ModelButton&, const ModelButton&) = default;
};

// The four questions the card asks before acting.
enum class ModelConfirmationKind { download, cancelDownload, remove, basicMode };

struct ModelConfirmation {
    std::string title;
    std::string message;
    std::string confirmTitle;
    bool confirmDestructive = false;
    std::string cancelTitle;  // the button that only closes the question

    friend bool operator==(const ModelConfirmation&, const ModelConfirmation&) = default;
};

// What the row's status and the sidebar say while a download waits for the network.
inline constexpr const char* downloadWaitingForNetwork = "Waiting for the network\u2026";

ModelStatus modelStatus(const PublishedState& state);
std::string modelDetail(const PublishedState& state);
// Red for a failed download, orange while the last run fell back, else secondary; whatever else is
// going on.
Tone modelDetailTone(const PublishedState& state);
ModelProgress modelProgress(const PublishedState& state);
// In the order they stand; `refreshing` is whether a source refreshes or local data are being deleted.
std::vector<ModelButton> modelButtons(const PublishedState& state, bool refreshing);
// Texts of the confirmation of `kind`, for the pack selected now.
ModelConfirmation modelConfirmation(ModelConfirmationKind kind, const PublishedState& state);

// " Allow required Contacts access next." while Contacts access is not usable, else empty.
std::string contactsNextDetail(ContactsPermission permission);
// The line under the picker: why the selected pack is, or is not, the recommended one.
std::string modelRecommendation(const ModelPack& selected);

// A byte count in decimal units, as the catalogue gives pack sizes: whole megabytes below a
// gigabyte, gigabytes with two fraction digits from there ("537 MB", "2.50 GB"). A negative count
// reads as 0.
std::string formatByteCount(int64_t bytes);

}  // namespace nudgerly
