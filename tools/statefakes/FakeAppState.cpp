#include "statefakes/FakeAppState.h"

#include "core/RawEnum.h"

namespace nudgerly::test {
namespace {

std::string sourceName(std::optional<ReviewSource> source) {
    return source ? std::string(toRaw(*source)) : "all";
}

}  // namespace

void FakeAppState::showQueue(std::optional<ReviewSource> source, QueueCompletionScope completion) {
    record("showQueue(" + sourceName(source) + ", " +
           (completion == QueueCompletionScope::open ? "open" : "completed") + ")");
}

void FakeAppState::setLookback(LookbackWindow window) {
    record("setLookback(" + std::to_string(toRaw(window)) + ")");
}

void FakeAppState::setQueueSort(QueueSort sort) {
    record("setQueueSort(" + std::string(toRaw(sort)) + ")");
}

void FakeAppState::setContactsOnly(bool on) {
    record(on ? "setContactsOnly(true)" : "setContactsOnly(false)");
}

void FakeAppState::refresh(ReviewSource source, LookbackWindow lookback) {
    record("refresh(" + sourceName(source) + ", " + std::to_string(toRaw(lookback)) + ")");
}

void FakeAppState::refreshAll(LookbackWindow lookback) {
    record("refreshAll(" + std::to_string(toRaw(lookback)) + ")");
}

void FakeAppState::reconcileContactsPermission(bool showError) {
    record(showError ? "reconcileContactsPermission(true)" : "reconcileContactsPermission(false)");
}

void FakeAppState::selectModelPack(std::string_view identifier) {
    record("selectModelPack(" + std::string(identifier) + ")");
}

void FakeAppState::shutdownForTermination(std::function<void()> finished) {
    record("shutdownForTermination()");
    if (finished) {
        finished();
    }
}

}  // namespace nudgerly::test
