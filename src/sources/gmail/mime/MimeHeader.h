#pragma once

#include <optional>
#include <string>
#include <string_view>

// Reading structured MIME header values such as "text/plain; charset=\"ISO-8859-1\"" or
// "attachment; filename=notes.txt".
namespace nudgerly::MimeHeader {

// The value before its parameters, lower-cased and trimmed: "text/plain", "attachment".
std::string value(std::string_view header);

// The named parameter's value (names compared without regard to case), unquoted; absent when there is
// none or it is empty. Semicolons inside quoted values do not end them.
std::optional<std::string> parameter(std::string_view header, std::string_view name);

// Whether a parameter has this name, or is an extended or continued form of it ("filename*",
// "filename*0*"), whatever its value.
bool hasParameter(std::string_view header, std::string_view name);

}  // namespace nudgerly::MimeHeader
