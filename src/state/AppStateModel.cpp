// The Local AI operations, carried out by the model controller.
#include "state/AppState.h"

namespace nudgerly {

void AppState::startModelDownload() {
    assertMainThread();
    model_.startModelDownload();
}

void AppState::continueInBasicMode() {
    assertMainThread();
    model_.continueInBasicMode();
}

void AppState::retryModelDownload() {
    assertMainThread();
    model_.retryModelDownload();
}

void AppState::cancelModelDownload() {
    assertMainThread();
    model_.cancelModelDownload();
}

void AppState::pauseModelDownload() {
    assertMainThread();
    model_.pauseModelDownload();
}

void AppState::resumeModelDownload() {
    assertMainThread();
    model_.resumeModelDownload();
}

void AppState::removeLocalModel() {
    assertMainThread();
    model_.removeLocalModel();
}

void AppState::selectModelPack(std::string_view identifier) {
    assertMainThread();
    model_.selectModelPack(identifier);
}

}  // namespace nudgerly
