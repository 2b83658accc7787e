#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "modelpacks/ModelPackPaths.h"
#include "platform/system/FileManager.h"

namespace nudgerly {

// What a pack's download leaves on disk: the staged file, the stored resume data and the partial
// bodies in the pack's transfer folder. Never touches the installed pack. File-system errors are
// thrown unless a method says otherwise.
class ModelDownloadArtifacts {
public:
    ModelDownloadArtifacts(ModelPackPaths paths, std::shared_ptr<const FileManager> fileManager);

    // Creates the folder of the staged file and the resume data.
    void prepareDownloadDirectory() const;

    bool hasResumeData() const;
    // The stored resume data; none when it is missing or cannot be read.
    std::optional<std::string> resumeData() const;
    // Stores resume data atomically.
    void storeResumeData(const std::string& resumeData) const;
    // The bytes a resume from `resumeData` keeps: the size of the one partial body it names in the
    // transfer folder, at most `limit`; 0 when it names none, several, or one that is not there.
    int64_t resumablePartialByteCount(const std::optional<std::string>& resumeData, int64_t limit) const;

    void removeStagedFile() const;
    void removeStagedFileIgnoringErrors() const;
    // Deletes the stored resume data and the one partial body it names. Resume data naming several
    // cannot say which one is ours: then no file is deleted on its strength, only the resume data.
    void removeResumeArtifacts() const;
    // The resume artefacts, then the staged file.
    void removeDownloadArtifacts() const;
    // Deletes the partial bodies that no stored resume data names. Never throws.
    void removeUnnamedPartialFiles() const;

private:
    void removeIgnoringErrors(const std::filesystem::path& path) const;

    const ModelPackPaths paths_;
    const std::shared_ptr<const FileManager> fileManager_;
};

}  // namespace nudgerly
