#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Reads an HTML document the way a browser lays out its text, in place of the platform's HTML importer.
// The reader never loads anything from the network: images, frames, style sheets and DTDs stay
// unfetched.
namespace nudgerly::HtmlText {

// Documents are read up to this many bytes; the rest is dropped.
inline constexpr std::size_t largestDocument = 4 << 20;

// The part of a document that is read: its first `largestDocument` bytes, not cutting a character.
std::string_view readPart(std::string_view html);

// The visible text of a UTF-8 document: script, style, head, title, noscript and template contents
// left out, and so are elements hidden by their `hidden` attribute or inline style (display:none,
// visibility:hidden, max-height:0 with overflow:hidden, a zero font size); whitespace collapsed as
// browsers do (kept inside <pre>); block elements on lines of their own, paragraphs followed by an
// empty line, <br> as a line feed, table cells separated by tabs.
// Absent when the reader cannot make a document of the input.
std::optional<std::string> visibleText(std::string_view html);

}  // namespace nudgerly::HtmlText
