// Card files come from sync programs and from the user: any bytes must parse without fault, give
// valid UTF-8, and read the same whether they arrive whole or in pieces.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/Text.h"
#include "platform/contacts/VCardParser.h"

using nudgerly::VCardParser;

namespace {

bool allValid(const std::vector<nudgerly::Contact>& contacts) {
    for (const auto& contact : contacts) {
        for (const auto* field :
             {&contact.identifier, &contact.givenName, &contact.familyName, &contact.organizationName}) {
            if (!nudgerly::text::isValidUtf8(*field)) {
                return false;
            }
        }
        for (const auto* list : {&contact.phoneNumbers, &contact.emailAddresses}) {
            for (const auto& value : *list) {
                if (value.empty() || !nudgerly::text::isValidUtf8(value)) {
                    return false;
                }
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A short line limit, so that the fuzzer reaches the overlong-line paths with small inputs.
    VCardParser whole(64);
    whole.feed(bytes);
    whole.finish();
    const auto expected = whole.takeContacts();
    if (!allValid(expected)) {
        __builtin_trap();
    }

    VCardParser pieces(64);
    const std::size_t split = size == 0 ? 0 : data[0] % size;
    pieces.feed(bytes.substr(0, split));
    pieces.feed(bytes.substr(split));
    pieces.finish();
    if (pieces.takeContacts() != expected || pieces.skippedCards() != whole.skippedCards()) {
        __builtin_trap();
    }
    return 0;
}
