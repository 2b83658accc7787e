#include "state/LocalModelStatus.h"

namespace nudgerly::LocalModelStatus {

bool isInstalled(const PublishedState& state) {
    return state.environmentModelFile || state.modelDownloadState.kind == ModelDownloadState::Kind::installed;
}

bool hasFallenBack(const PublishedState& state) {
    // A pack that cannot run says so through the runtime issue already; the environment's model has no
    // such check, only the server program beside it.
    const bool environmentModelCannotRun =
        state.environmentModelFile && state.modelAvailability.kind != ModelAvailability::Kind::bundled;
    return state.modelRuntimeIssue || environmentModelCannotRun;
}

}  // namespace nudgerly::LocalModelStatus
