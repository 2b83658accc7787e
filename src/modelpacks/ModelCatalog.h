#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modelpacks/ModelPack.h"

namespace nudgerly {

// A list of packs with the one to use when nothing (usable) was chosen.
struct ModelCatalog {
    std::string defaultPackIdentifier;
    std::vector<ModelPack> packs;

    // The built-in catalogue: both packs, the smaller one by default.
    static const ModelCatalog& nudgerly();

    // The first pack with exactly this identifier (case matters).
    std::optional<ModelPack> pack(std::string_view identifier) const;
    // The pack named by defaultPackIdentifier, or the built-in default when the list lacks it.
    ModelPack defaultPack() const;

    friend bool operator==(const ModelCatalog&, const ModelCatalog&) = default;
};

}  // namespace nudgerly
