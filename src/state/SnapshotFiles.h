#pragma once

#include <filesystem>

#include "review/ReviewSnapshot.h"
#include "review/ReviewSource.h"

namespace nudgerly {

// Where the saved queue of each source is kept in the data folder, and how it is written and deleted.
class SnapshotFiles {
public:
    explicit SnapshotFiles(std::filesystem::path dataDirectory) : dataDirectory_(std::move(dataDirectory)) {}

    std::filesystem::path file(ReviewSource source) const;
    // Writes the source's file atomically; a failure is a UserFacingError naming the file.
    void write(const ReviewSnapshot& snapshot, ReviewSource source) const;
    // Deletes the source's file; a file already gone, or one in a folder of another user, stays unmentioned.
    void remove(ReviewSource source) const;

private:
    std::filesystem::path dataDirectory_;
};

}  // namespace nudgerly
