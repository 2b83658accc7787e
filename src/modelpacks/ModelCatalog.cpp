#include "modelpacks/ModelCatalog.h"

#include <algorithm>

namespace nudgerly {

const ModelCatalog& ModelCatalog::nudgerly() {
    static const ModelCatalog catalog{
        .defaultPackIdentifier = ModelPack::nudgerlyDefault().identifier,
        .packs = ModelPack::nudgerlyPacks(),
    };
    return catalog;
}

std::optional<ModelPack> ModelCatalog::pack(std::string_view identifier) const {
    const auto found = std::find_if(packs.begin(), packs.end(),
                                    [&](const ModelPack& candidate) { return candidate.identifier == identifier; });
    if (found == packs.end()) {
        return std::nullopt;
    }
    return *found;
}

ModelPack ModelCatalog::defaultPack() const {
    return pack(defaultPackIdentifier).value_or(ModelPack::nudgerlyDefault());
}

}  // namespace nudgerly
