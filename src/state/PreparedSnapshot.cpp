#include "state/PreparedSnapshot.h"

namespace nudgerly {

PreparedSnapshot PreparedSnapshot::of(ReviewSnapshot snapshot, std::stop_token stop) {
    auto shared = std::make_shared<const ReviewSnapshot>(std::move(snapshot));
    SnapshotMemo::Answers answers = SnapshotMemo::workOut(*shared, stop);
    return {std::move(shared), std::move(answers)};
}

}  // namespace nudgerly
