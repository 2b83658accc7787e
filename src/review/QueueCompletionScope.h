#pragma once

namespace nudgerly {

// Whether the queue shows open or completed items.
enum class QueueCompletionScope { open, completed };

}  // namespace nudgerly
