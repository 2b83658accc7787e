#include "modelpacks/DecimalGigabytes.h"

#include <charconv>
#include <stdexcept>

namespace nudgerly {

std::string decimalGigabytes(int64_t bytes, int fractionDigits) {
    const double gigabytes = static_cast<double>(bytes) / 1'000'000'000.0;
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, gigabytes, std::chars_format::fixed, fractionDigits);
    if (result.ec != std::errc()) {
        throw std::logic_error("gigabyte count does not fit its buffer");
    }
    return std::string(buffer, result.ptr);
}

}  // namespace nudgerly
