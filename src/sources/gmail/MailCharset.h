#pragma once

#include <optional>
#include <string>
#include <string_view>

// The character sets of mail parts.
namespace nudgerly::MailCharset {

// The "charset" parameter of a Content-Type value ("text/plain; charset=\"ISO-8859-1\""), without
// quotes; absent when there is none.
std::optional<std::string> charsetParameter(std::string_view contentType);

// A part's bytes as UTF-8 text. Bytes that are valid UTF-8 are taken as they are, whatever the label
// says, as mailers often mislabel UTF-8; other bytes are converted from the named character set
// (and UTF-16 or UTF-32 parts always are, since their bytes can pass for UTF-8). Absent when no
// character set is named, it is unknown, or the bytes are not valid in it.
std::optional<std::string> decodedText(std::string_view bytes, const std::optional<std::string>& charset);

}  // namespace nudgerly::MailCharset
