// Feeds arbitrary answers of the feedback service to the receipt decoder and to the client's reading of
// an answer: the first byte picks the status, the rest is the body.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/Text.h"
#include "services/FeedbackClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto receipt = nudgerly::FeedbackReceipt::decode(bytes)) {
        (void)receipt->id.size();
    }
    if (bytes.empty()) {
        return 0;
    }
    static constexpr long statuses[] = {200, 201, 204, 299, 300, 302, 400, 404, 422, 500, 503, 100};
    const long status = statuses[static_cast<uint8_t>(bytes.front()) % std::size(statuses)];
    try {
        const auto receipt = nudgerly::FeedbackClient::readAnswer(status, bytes.substr(1));
        if (status < 200 || status > 299) {
            __builtin_trap();  // only a success may give a receipt
        }
        (void)receipt;
    } catch (const nudgerly::FeedbackClientError& error) {
        // Whatever the service sends, the sentence shown is never empty.
        if (nudgerly::text::isBlank(error.what())) {
            __builtin_trap();
        }
    }
    return 0;
}
