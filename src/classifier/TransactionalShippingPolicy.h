#pragma once

#include <vector>

#include "core/Regex.h"
#include "review/Conversation.h"

// Recognises an order or shipping status text in Messages that asks nothing and reports no problem.
namespace nudgerly::TransactionalShippingPolicy {

// True for a Messages conversation whose latest inbound text names an order or parcel and its
// delivery status, holds no question or request outside links and quotes, and reports no problem
// the user has to deal with.
bool isUpdate(const Conversation& conversation);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::TransactionalShippingPolicy
