#pragma once

#include "classifier/ModelRunReport.h"
#include "review/ReviewSnapshot.h"

namespace nudgerly {

struct SnapshotClassificationResult {
    ReviewSnapshot snapshot;
    ModelRunReport report;
};

}  // namespace nudgerly
