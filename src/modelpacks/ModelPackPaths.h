#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "modelpacks/ModelPack.h"

namespace nudgerly {

// Where one pack's files live, below the data folder:
//   ModelPacks/<identifier>/<filename>                 the installed model
//   ModelPacks/<identifier>/.verification.plist        its receipt
//   ModelPacks/.downloads/<identifier>.partial         a finished but unverified download
//   ModelPacks/.downloads/<identifier>.resumeData      resume data of a stopped download
//   ModelPacks/.downloads/<identifier>.transfers/      the partial bodies of running transfers
// An identifier or file name that is not a safe path component is replaced by "invalid-model-pack"
// or "invalid-model.gguf", so no path escapes the folder (such a pack fails validation anyway).
struct ModelPackPaths {
    std::filesystem::path installedModelPath;
    std::filesystem::path verificationReceiptPath;
    std::filesystem::path stagingPath;
    std::filesystem::path resumeDataPath;
    std::filesystem::path temporaryDirectory;

    static ModelPackPaths of(const ModelPack& pack, const std::filesystem::path& rootDirectory);

    // The installed model's folder, which holds its receipt too.
    std::filesystem::path packFolder() const { return installedModelPath.parent_path(); }

    // The partial body that resume data names (`names`: the temporary download file names found in
    // it) in the transfer folder. Resume data naming several files cannot say which one is ours, and a
    // name leading out of the folder is not ours: both name none.
    std::optional<std::filesystem::path> partialFileNamedBy(const std::set<std::string>& names) const;

    friend bool operator==(const ModelPackPaths&, const ModelPackPaths&) = default;
};

}  // namespace nudgerly
