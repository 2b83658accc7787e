#include "state/LocalModelStatus.h"

namespace nudgerly::LocalModelStatus {

bool isInstalled(const PublishedState& state) {
    return state.environmentModelFile || state.shippedModelFile ||
           state.modelDownloadState.kind == ModelDownloadState::Kind::installed;
}

bool hasFallenBack(const PublishedState& state) {
    // A pack that cannot run says so through the runtime issue already; the environment's model and
    // the shipped one have no such check, only the server program beside them.
    const bool modelFileCannotRun = (state.environmentModelFile || state.shippedModelFile) &&
                                    state.modelAvailability.kind != ModelAvailability::Kind::bundled;
    return state.modelRuntimeIssue || modelFileCannotRun;
}

}  // namespace nudgerly::LocalModelStatus
