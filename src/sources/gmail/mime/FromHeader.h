#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Regex.h"

// Reading the sender out of a From-style header value such as "\"Ada Lovelace\" <Ada@Example.com>".
namespace nudgerly::FromHeader {

// The address in angle brackets, else the first address-like run ("name@domain"), lower-cased;
// "" when there is neither.
std::string emailAddress(std::string_view value);

// The value with every "<...>" removed and blanks and double quotes trimmed from both ends. A bare
// address has no brackets, so it is its own display name.
std::string displayName(std::string_view value);

// The compiled expressions used here, for the test that checks every pattern compiles.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::FromHeader
