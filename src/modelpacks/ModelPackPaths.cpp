#include "modelpacks/ModelPackPaths.h"

#include "modelpacks/ModelVerification.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

// Lexically normal, without a trailing separator.
fs::path standardised(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    return normal.has_filename() || !normal.has_parent_path() ? normal : normal.parent_path();
}

}  // namespace

ModelPackPaths ModelPackPaths::of(const ModelPack& pack, const fs::path& rootDirectory) {
    const std::string folderName =
        ModelPack::isSafePathComponent(pack.identifier) ? pack.identifier : "invalid-model-pack";
    const std::string fileName = ModelPack::isSafePathComponent(pack.filename) ? pack.filename : "invalid-model.gguf";
    const fs::path packs = rootDirectory / "ModelPacks";
    const fs::path downloads = packs / ".downloads";
    const fs::path installed = packs / folderName / fileName;
    return {
        .installedModelPath = installed,
        .verificationReceiptPath = installed.parent_path() / ModelVerification::receiptFileName,
        .stagingPath = downloads / (folderName + ".partial"),
        .resumeDataPath = downloads / (folderName + ".resumeData"),
        .temporaryDirectory = downloads / (folderName + ".transfers"),
    };
}

std::optional<fs::path> ModelPackPaths::partialFileNamedBy(const std::set<std::string>& names) const {
    if (names.size() != 1) {
        return std::nullopt;
    }
    const fs::path folder = standardised(temporaryDirectory);
    const fs::path candidate = standardised(folder / *names.begin());
    if (candidate.parent_path() != folder) {
        return std::nullopt;
    }
    return candidate;
}

}  // namespace nudgerly
