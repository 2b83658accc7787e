#pragma once

#include <cstdint>
#include <string>

namespace nudgerly {

// `bytes` / 1,000,000,000 with exactly `fractionDigits` digits after the point, rounded the way
// "%.Nf" rounds in the C locale, whatever locale the process has set ("5.6", never "5,6").
std::string decimalGigabytes(int64_t bytes, int fractionDigits);

}  // namespace nudgerly
