#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Percent-encoding for request addresses and form bodies. Only the unreserved characters of URIs
// (letters, digits, "-", ".", "_", "~") stay as they are; every other byte becomes "%XX" with
// upper-case hexadecimal digits, so no value can add a parameter, a path step or a fragment.
namespace nudgerly::PercentEncoding {

std::string encoded(std::string_view bytes);

// One path segment: as `encoded`, and "." or ".." written as escapes too, so that the segment can
// never step up or stay in place when the address is resolved.
std::string pathSegment(std::string_view bytes);

// "name=value" pairs joined with "&", names and values encoded: a query string or a form body
// ("application/x-www-form-urlencoded").
std::string formEncoded(const std::vector<std::pair<std::string, std::string>>& items);

// Reverses `encoded`; "%" not followed by two hexadecimal digits stays as it is.
std::string decoded(std::string_view text);

}  // namespace nudgerly::PercentEncoding
