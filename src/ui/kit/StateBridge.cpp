#include "ui/kit/StateBridge.h"

#include <algorithm>

namespace nudgerly {

StateBridge::StateBridge(AppStateView& state, QObject* parent) : QObject(parent), state_(state) {
    observation_ = state_.observe([this](const StateFieldSet& fields) { emit changed(fields); });
}

bool StateBridge::touches(const StateFieldSet& changed, std::initializer_list<StateField> fields) {
    return std::ranges::any_of(fields, [&](StateField field) { return changed.contains(field); });
}

}  // namespace nudgerly
