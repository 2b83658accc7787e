#pragma once

#include <string_view>

#include "modelpacks/ModelCatalog.h"
#include "platform/system/SettingsStore.h"

// The user's stored choice of model pack: one identifier in the settings.
namespace nudgerly::ModelSelectionStore {

inline constexpr std::string_view selectedPackKey = "selected-model-pack-identifier";

// The stored pack when the catalogue knows it, else the catalogue's default. Writes nothing back.
ModelPack selectedPack(const ModelCatalog& catalog, const SettingsStore& defaults);

// True exactly when the stored identifier names a pack of the catalogue.
bool hasValidStoredSelection(const ModelCatalog& catalog, const SettingsStore& defaults);

// Stores the pack's identifier, or the built-in default's when the built-in catalogue does not know
// the pack (always the built-in catalogue, whatever catalogue the caller reads with).
void persist(const ModelPack& pack, SettingsStore& defaults);

}  // namespace nudgerly::ModelSelectionStore
