#include "modelpacks/ModelDownloadArtifacts.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "modelpacks/ModelVerification.h"
#include "platform/net/DownloadResumeData.h"

namespace nudgerly {

namespace fs = std::filesystem;

ModelDownloadArtifacts::ModelDownloadArtifacts(ModelPackPaths paths, std::shared_ptr<const FileManager> fileManager)
    : paths_(std::move(paths)), fileManager_(std::move(fileManager)) {}

void ModelDownloadArtifacts::prepareDownloadDirectory() const {
    fileManager_->createDirectories(paths_.resumeDataPath.parent_path());
}

bool ModelDownloadArtifacts::hasResumeData() const {
    return fileManager_->fileExists(paths_.resumeDataPath);
}

std::optional<std::string> ModelDownloadArtifacts::resumeData() const {
    try {
        return fileManager_->contents(paths_.resumeDataPath, DownloadResumeData::maximumSize);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void ModelDownloadArtifacts::storeResumeData(const std::string& resumeData) const {
    fileManager_->writeAtomically(paths_.resumeDataPath, resumeData);
}

int64_t ModelDownloadArtifacts::resumablePartialByteCount(const std::optional<std::string>& resumeData,
                                                          int64_t limit) const {
    if (!resumeData) {
        return 0;
    }
    const auto candidate = paths_.partialFileNamedBy(ModelVerification::temporaryDownloadFileNames(*resumeData));
    if (!candidate) {
        return 0;
    }
    try {
        return std::clamp<int64_t>(fileManager_->attributesOfItem(*candidate).size, 0, limit);
    } catch (const std::exception&) {
        return 0;
    }
}

void ModelDownloadArtifacts::removeStagedFile() const {
    if (fileManager_->fileExists(paths_.stagingPath)) {
        fileManager_->removeItem(paths_.stagingPath);
    }
}

void ModelDownloadArtifacts::removeStagedFileIgnoringErrors() const {
    removeIgnoringErrors(paths_.stagingPath);
}

void ModelDownloadArtifacts::removeResumeArtifacts() const {
    if (!hasResumeData()) {
        return;
    }
    // Resume data that cannot be read names no file of ours; it goes all the same, or every later
    // begin, cancel and removal would stumble over it.
    std::set<std::string> names;
    try {
        names = ModelVerification::temporaryDownloadFileNames(
            fileManager_->contents(paths_.resumeDataPath, DownloadResumeData::maximumSize));
    } catch (const std::exception&) {
    }
    if (const auto candidate = paths_.partialFileNamedBy(names); candidate && fileManager_->fileExists(*candidate)) {
        fileManager_->removeItem(*candidate);
    }
    fileManager_->removeItem(paths_.resumeDataPath);
}

void ModelDownloadArtifacts::removeDownloadArtifacts() const {
    removeResumeArtifacts();
    removeStagedFile();
}

// Partial bodies that no stored resume data names any longer (its write failed, the program was
// killed, or the resume data named several) would otherwise stay behind for good. The transfer folder
// is this pack's own, so only our own files are touched.
void ModelDownloadArtifacts::removeUnnamedPartialFiles() const {
    std::set<std::string> named;
    if (hasResumeData()) {
        try {
            named = ModelVerification::temporaryDownloadFileNames(
                fileManager_->contents(paths_.resumeDataPath, DownloadResumeData::maximumSize));
        } catch (const std::exception&) {
            return;  // cannot tell which file is still wanted
        }
    }
    std::vector<fs::path> entries;
    try {
        entries = fileManager_->contentsOfDirectory(paths_.temporaryDirectory);
    } catch (const std::exception&) {
        return;  // no folder yet, or it cannot be listed: nothing to tidy now
    }
    for (const auto& path : entries) {
        const std::string name = path.filename().string();
        if (isTemporaryDownloadFileName(name) && !named.contains(name)) {
            removeIgnoringErrors(path);
        }
    }
}

void ModelDownloadArtifacts::removeIgnoringErrors(const fs::path& path) const {
    try {
        if (fileManager_->fileExists(path)) {
            fileManager_->removeItem(path);
        }
    } catch (const std::exception&) {
    }
}

}  // namespace nudgerly
