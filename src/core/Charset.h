#pragma once

#include <string>
#include <string_view>

// Text from outside that names its character set (mail parts, contact cards), as UTF-8.
namespace nudgerly::Charset {

// The bytes as UTF-8 text, never failing: a label that names no known character set, UTF-8 or
// US-ASCII reads the bytes as UTF-8. Any other is converted first, in the superset that senders
// really use under that label (windows-1252 for Latin-1, GB18030 for GB2312 and GBK, windows-949 for
// EUC-KR); when the bytes are not valid there but are valid UTF-8, as mislabelled parts are, they are
// taken as UTF-8. Single-byte character sets accept any bytes, so for them valid UTF-8 is recognised
// before converting. Sequences valid in neither become U+FFFD and the rest is kept.
std::string toUtf8(std::string_view bytes, std::string_view label);

}  // namespace nudgerly::Charset
