#include "ui/accounts/ModelRowPresentation.h"

#include <algorithm>
#include <string>

#include "modelpacks/DecimalGigabytes.h"
#include "state/LocalModelStatus.h"

namespace nudgerly {
namespace {

using Kind = ModelDownloadState::Kind;

bool contactsUsable(const PublishedState& state) {
    return allowsReadingContacts(state.contactsPermission);
}

// Removal and switching stand in for every download state while they run.
bool busy(const PublishedState& state) {
    return state.isRemovingModel || state.isSwitchingModel;
}

std::string byteRange(int64_t received, int64_t total) {
    return formatByteCount(received) + " of " + formatByteCount(total);
}

double fraction(int64_t received, int64_t total) {
    if (total < 1) {
        return 0;
    }
    return std::clamp(static_cast<double>(received) / static_cast<double>(total), 0.0, 1.0);
}

// The card while NUDGERLY_MODEL_PATH names the model: it is in use whatever pack is selected.
std::string environmentModelDetail(const PublishedState& state, const std::string& file) {
    const std::string inUse = "Local AI uses " + file + ", the model file NUDGERLY_MODEL_PATH names.";
    const std::string next = contactsNextDetail(state.contactsPermission);
    if (state.modelRuntimeIssue) {
        return inUse + " " + *state.modelRuntimeIssue + next + " Refresh the queue to retry Local AI.";
    }
    if (LocalModelStatus::hasFallenBack(state)) {
        return inUse +
               " The llama-server program to run it was not found; set NUDGERLY_LLAMA_SERVER to it and "
               "open Nudgerly again." +
               next;
    }
    if (contactsUsable(state)) {
        return inUse + " Refresh the queue when you want Local AI to review conversations.";
    }
    return inUse + " Allow required Contacts access below to continue.";
}

// The card of a model ready for use: the selected pack's download, or the model shipped with the
// program in its place.
std::string installedDetail(const PublishedState& state) {
    const std::string& name = state.selectedModelPack.displayName;
    if (state.modelRuntimeIssue) {
        return name + " is installed on this computer. " + *state.modelRuntimeIssue +
               contactsNextDetail(state.contactsPermission) + " Refresh the queue to retry Local AI.";
    }
    if (contactsUsable(state)) {
        return name +
               " is installed on this computer. Refresh the queue when you want Local AI to review "
               "conversations.";
    }
    return name + " is installed on this computer. Allow required Contacts access below to continue.";
}

ModelButton refreshQueueButton(const PublishedState& state, bool refreshing) {
    return {"Refresh Queue", ModelButton::Style::prominent, ModelButton::Role::none,
            !refreshing && contactsUsable(state), ModelAction::refreshQueue};
}

}  // namespace

std::string formatByteCount(int64_t bytes) {
    constexpr int64_t megabyte = 1'000'000;
    const int64_t count = std::max<int64_t>(bytes, 0);
    // From where whole megabytes would round to a thousand, gigabytes.
    if (count >= 999'500'000) {
        return decimalGigabytes(count, 2) + " GB";
    }
    return std::to_string((count + megabyte / 2) / megabyte) + " MB";
}

std::string contactsNextDetail(ContactsPermission permission) {
    return allowsReadingContacts(permission) ? std::string() : std::string(" Allow required Contacts access next.");
}

std::string modelRecommendation(const ModelPack& selected) {
    if (selected.identifier == ModelPack::nudgerlyDefault().identifier) {
        return "Recommended: best balance of accuracy, speed, memory use, and download size.";
    }
    return "Larger model with slower inference and higher memory use; intended for computers with 16 GB or more "
           "memory.";
}

ModelStatus modelStatus(const PublishedState& state) {
    if (state.isRemovingModel) {
        return {"Removing", "trash", Tone::orange};
    }
    if (state.isSwitchingModel) {
        return {"Switching", "arrow.triangle.2.circlepath", Tone::accent};
    }
    if (LocalModelStatus::isInstalled(state)) {
        if (LocalModelStatus::hasFallenBack(state)) {
            return {"Basic fallback", "exclamationmark.triangle.fill", Tone::orange};
        }
        return {"Installed", "checkmark.circle.fill", Tone::green};
    }
    switch (state.modelDownloadState.kind) {
        case Kind::downloading:
            if (state.modelDownloadState.waitingForNetwork) {
                return {downloadWaitingForNetwork, "exclamationmark.circle", Tone::orange};
            }
            return {"Downloading", "arrow.down.circle.fill", Tone::accent};
        case Kind::failed: return {"Download failed", "exclamationmark.triangle.fill", Tone::red};
        case Kind::missing:
            if (state.needsModelChoice) {
                return {"Setup choice required", "questionmark.circle", Tone::accent};
            }
            return {"Basic mode", "checkmark.circle", Tone::secondary};
        case Kind::paused: return {"Paused", "pause.circle.fill", Tone::orange};
        case Kind::verifying: return {"Verifying", "checkmark.shield", Tone::accent};
        case Kind::installed: break;  // told above
    }
    return {};
}

Tone modelDetailTone(const PublishedState& state) {
    if (state.modelDownloadState.kind == Kind::failed && !state.environmentModelFile && !state.shippedModelFile) {
        return Tone::red;
    }
    return LocalModelStatus::hasFallenBack(state) ? Tone::orange : Tone::secondary;
}

std::string modelDetail(const PublishedState& state) {
    const std::string& name = state.selectedModelPack.displayName;
    const std::string next = contactsNextDetail(state.contactsPermission);
    const bool choosing = state.needsModelChoice;
    const ModelDownloadState& download = state.modelDownloadState;
    if (state.isRemovingModel) {
        return "Removing " + name + " from this computer.";
    }
    if (state.isSwitchingModel) {
        return "Switching the selected Local AI model.";
    }
    if (state.environmentModelFile) {
        return environmentModelDetail(state, *state.environmentModelFile);
    }
    if (state.shippedModelFile) {
        return installedDetail(state);
    }
    switch (download.kind) {
        case Kind::downloading:
            return (download.waitingForNetwork
                        ? "Waiting for the network to download " + name +
                              ". The download goes on by itself once the connection is back. You can pause and "
                              "resume at any time."
                        : "Downloading " + name + ", " + byteRange(download.receivedBytes, download.totalBytes) +
                              ", over HTTPS. You can pause and resume at any time.") +
                   (choosing ? " The queue and Gmail stay blocked until installation finishes or you explicitly "
                               "choose lower-accuracy Basic Mode."
                             : "") +
                   next;
        case Kind::failed:
            return name + " could not be installed. " + download.message + " " +
                   (choosing ? "Retry it or explicitly choose lower-accuracy Basic Mode to continue."
                             : "Basic Mode remains active; retry the model download when you are ready.") +
                   next;
        case Kind::missing:
            if (choosing) {
                return std::string(
                           "Download the selected model to continue. Lower-accuracy Basic Mode is available "
                           "only after an explicit warning") +
                       (contactsUsable(state) ? "." : "; Contacts access is the next required step.");
            }
            if (contactsUsable(state)) {
                return "Lower-accuracy Basic Mode is active. Download the selected model for full Local AI "
                       "classification.";
            }
            return "Lower-accuracy Basic Mode is active. Allow required Contacts access below to continue, or "
                   "download the selected model for full Local AI classification.";
        case Kind::paused: {
            const auto& progress = state.modelDownloadProgress;
            return name +
                   (progress ? " is paused at " + byteRange(progress->receivedBytes, progress->totalBytes) + ". "
                             : std::string(" is paused. ")) +
                   (choosing ? "Resume installation or explicitly choose lower-accuracy Basic Mode to continue."
                             : "Basic Mode remains active; resume installation when you are ready.") +
                   next;
        }
        case Kind::verifying:
            return "Download complete. Nudgerly is verifying " + name + " before installation." +
                   (choosing ? " Setup remains blocked until verification succeeds or you explicitly choose "
                               "lower-accuracy Basic Mode."
                             : " Basic Mode remains active until verification succeeds.") +
                   next;
        case Kind::installed: return installedDetail(state);
    }
    return {};
}

ModelProgress modelProgress(const PublishedState& state) {
    using enum ModelProgress::Kind;
    const std::string& name = state.selectedModelPack.displayName;
    const ModelDownloadState& download = state.modelDownloadState;
    if (state.isRemovingModel) {
        return {.kind = spinner, .accessibleName = "Removing Local AI model"};
    }
    if (state.isSwitchingModel) {
        return {.kind = spinner, .accessibleName = "Switching Local AI model"};
    }
    if (state.environmentModelFile || state.shippedModelFile) {
        return {};
    }
    switch (download.kind) {
        case Kind::downloading:
            return {.kind = bar,
                    .fraction = fraction(download.receivedBytes, download.totalBytes),
                    .accessibleName =
                        (download.waitingForNetwork ? "Waiting for the network to download " : "Downloading ") + name,
                    .accessibleValue = byteRange(download.receivedBytes, download.totalBytes)};
        case Kind::verifying: return {.kind = spinner, .accessibleName = "Verifying " + name};
        case Kind::paused:
            if (const auto& progress = state.modelDownloadProgress) {
                return {.kind = bar,
                        .fraction = fraction(progress->receivedBytes, progress->totalBytes),
                        .accessibleName = "Local AI model download paused",
                        .accessibleValue = byteRange(progress->receivedBytes, progress->totalBytes)};
            }
            return {};
        case Kind::missing:
        case Kind::failed:
        case Kind::installed: return {};
    }
    return {};
}

std::vector<ModelButton> modelButtons(const PublishedState& state, bool refreshing) {
    using enum ModelButton::Style;
    using Role = ModelButton::Role;
    const bool free = !busy(state);
    std::vector<ModelButton> buttons;
    const auto add = [&buttons](std::string text, ModelButton::Style style, Role role, bool enabled,
                                ModelAction action) {
        buttons.push_back({std::move(text), style, role, enabled, action});
    };
    // Offered only until a model or Basic Mode has been chosen.
    const auto addBasicMode = [&] {
        if (state.needsModelChoice) {
            add("Use Basic Mode Instead\u2026", plain, Role::none, free, ModelAction::confirmBasicMode);
        }
    };
    // Nothing of the packs' applies to the environment's model; the shipped one cannot be removed.
    if (state.environmentModelFile || state.shippedModelFile) {
        return {refreshQueueButton(state, refreshing)};
    }
    switch (state.modelDownloadState.kind) {
        case Kind::missing:
            add("Download Selected Model\u2026", prominent, Role::none, free, ModelAction::confirmDownload);
            addBasicMode();
            break;
        case Kind::downloading:
            add("Pause", plain, Role::none, free, ModelAction::pause);
            addBasicMode();
            break;
        case Kind::paused:
            add("Resume", prominent, Role::none, free, ModelAction::resume);
            add("Cancel Download\u2026", plain, Role::destructive, free, ModelAction::confirmCancel);
            addBasicMode();
            break;
        case Kind::verifying: addBasicMode(); break;
        case Kind::failed:
            add("Retry", prominent, Role::none, free, ModelAction::retry);
            addBasicMode();
            add("Remove Selected Download\u2026", plain, Role::destructive, free, ModelAction::confirmRemove);
            break;
        case Kind::installed:
            buttons.push_back(refreshQueueButton(state, refreshing));
            add("Remove Selected Model\u2026", plain, Role::destructive, !refreshing && free,
                ModelAction::confirmRemove);
            break;
    }
    return buttons;
}

ModelConfirmation modelConfirmation(ModelConfirmationKind kind, const PublishedState& state) {
    const ModelPack& pack = state.selectedModelPack;
    const std::string file = pack.repository + " \u2014 " + pack.filename;
    switch (kind) {
        case ModelConfirmationKind::download:
            return {.title = "Download " + pack.displayName + "?",
                    .message = "Nudgerly will download " + file +
                               " over HTTPS. Conversation content is never sent to the download host or an internet "
                               "inference service.",
                    .confirmTitle = "Download " + decimalGigabytes(pack.byteCount, 2) + " GB Model",
                    .cancelTitle = "Cancel"};
        case ModelConfirmationKind::cancelDownload:
            return {.title = "Cancel this model download?",
                    .message = state.needsModelChoice
                                   ? "The partial model download will be removed. Setup stays blocked until a model is "
                                     "installed or you explicitly choose lower-accuracy Basic Mode."
                                   : "The partial model download will be removed. Your current setup choice stays in "
                                     "place.",
                    .confirmTitle = "Cancel Download",
                    .confirmDestructive = true,
                    .cancelTitle = "Keep Download"};
        case ModelConfirmationKind::remove:
            return {
                .title = "Remove " + pack.displayName + "?",
                .message = "This removes only " + file +
                           " and its partial download. Other downloaded model packs stay on this computer. Nudgerly "
                           "will use lower-accuracy Basic Mode until you install a selected model again.",
                .confirmTitle = "Remove Selected Model",
                .confirmDestructive = true,
                .cancelTitle = "Cancel"};
        case ModelConfirmationKind::basicMode:
            return {.title = "Use Basic Mode Instead\u2026",
                    .message =
                        "Basic Mode uses deterministic on-device rules instead of a language model. It is "
                        "materially less accurate and may miss conversations or prioritize them incorrectly. "
                        "Any active model download and its partial data will be canceled and removed. "
                        "Conversation content remains on this computer either way.",
                    .confirmTitle = "Use Lower-Accuracy Basic Mode",
                    .cancelTitle = "Keep Local AI Recommended"};
    }
    return {};
}

}  // namespace nudgerly
