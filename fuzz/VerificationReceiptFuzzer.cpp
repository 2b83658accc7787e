// A receipt file as the install check reads it: any bytes decode or answer absent, and a receipt that
// decodes writes back to bytes that decode to the same receipt.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/UserFacingError.h"
#include "modelpacks/ModelVerificationReceipt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const auto receipt =
        ModelVerificationReceipt::fromPropertyList(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!receipt) {
        return 0;
    }
    std::string written;
    try {
        written = receipt->binaryPropertyList();
    } catch (const UserFacingError&) {
        return 0;  // a date a receipt cannot hold is refused when recording
    }
    // Strings holding NUL are cut by libplist's writer; such a receipt never matches a pack anyway.
    if (receipt->identifier.find('\0') != std::string::npos || receipt->filename.find('\0') != std::string::npos ||
        receipt->sha256.find('\0') != std::string::npos) {
        return 0;
    }
    if (ModelVerificationReceipt::fromPropertyList(written) != receipt) {
        std::abort();
    }
    return 0;
}
