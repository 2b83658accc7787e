#pragma once

#include <string_view>

// Plain alternatives that only tell the reader to use a program that shows HTML.
namespace nudgerly::PlaceholderPlainPolicy {

// True for a blank text, and for a short one (at most 200 characters once links are left out) that
// names HTML, a browser, a web version or a mail program and speaks of this message, of viewing it or
// of HTML-capable readers. Real short mail rarely does both, and when it does its HTML alternative
// says the same.
bool isPlaceholder(std::string_view plainText);

}  // namespace nudgerly::PlaceholderPlainPolicy
