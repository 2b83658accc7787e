// The access decision file may be edited by hand: any bytes must read as a decision or as none, and a
// decision must read back the same after it is written.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/contacts/ContactsAccessDecision.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto decision =
        nudgerly::ContactsAccessDecision::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!decision) {
        return 0;
    }
    auto expected = *decision;
    if (expected.status != nudgerly::ContactsAuthorizationStatus::limited) {
        expected.allowed.clear();  // written for limited grants only
    }
    const auto again = nudgerly::ContactsAccessDecision::parse(decision->encoded());
    if (!again || *again != expected) {
        __builtin_trap();
    }
    return 0;
}
