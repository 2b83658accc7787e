#include "modelpacks/ModelSelectionStore.h"

namespace nudgerly::ModelSelectionStore {
namespace {

std::optional<ModelPack> storedPack(const ModelCatalog& catalog, const SettingsStore& defaults) {
    const auto identifier = defaults.string(selectedPackKey);
    return identifier ? catalog.pack(*identifier) : std::nullopt;
}

}  // namespace

ModelPack selectedPack(const ModelCatalog& catalog, const SettingsStore& defaults) {
    return storedPack(catalog, defaults).value_or(catalog.defaultPack());
}

bool hasValidStoredSelection(const ModelCatalog& catalog, const SettingsStore& defaults) {
    return storedPack(catalog, defaults).has_value();
}

void persist(const ModelPack& pack, SettingsStore& defaults) {
    const ModelCatalog& builtIn = ModelCatalog::nudgerly();
    const auto known = builtIn.pack(pack.identifier);
    defaults.setString(selectedPackKey, known ? known->identifier : builtIn.defaultPack().identifier);
}

}  // namespace nudgerly::ModelSelectionStore
