#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/unistr.h>

// Text helpers over ICU, with the semantics the stored formats and rules expect: Unicode default case
// mapping (no locale), White_Space trimming and extended grapheme clusters as "characters".
namespace nudgerly::text {

bool isValidUtf8(std::string_view bytes);

// Replaces every maximal ill-formed subsequence with U+FFFD, the way text from outside is made safe at
// the boundary. Valid input comes back unchanged.
std::string makeValidUtf8(std::string_view bytes);

// Conversions between UTF-8 and ICU strings; invalid UTF-8 input becomes U+FFFD.
icu::UnicodeString toUnicode(std::string_view utf8);
std::string toUtf8(const icu::UnicodeString& text);

// Root-locale lowercasing (the same for every user, whatever their language settings).
std::string lowercased(std::string_view utf8);

// Text folded for comparisons that ignore case and accents, the same for every user: canonical
// decomposition, nonspacing marks dropped, Unicode default case folding ("José" and "JOSE" fold alike).
std::string caseAndDiacriticFolded(std::string_view utf8);

// Equality of ASCII letters without regard to case, for protocol names (headers, MIME types); other
// bytes must match exactly.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
// The text with its ASCII capitals made small, every other byte as it is.
std::string asciiLowercased(std::string_view text);

// Removes characters with the Unicode White_Space property (spaces, tabs, line breaks, no-break
// spaces, ...) from both ends.
std::string trimmed(std::string_view utf8);
bool isBlank(std::string_view utf8);

// Removes ASCII whitespace (space, tab, line feed, vertical tab, form feed, carriage return) from both
// ends, for protocol syntax (header values, style declarations); other bytes are left alone.
std::string_view trimmedAscii(std::string_view text);

// Number of user-perceived characters (extended grapheme clusters).
std::size_t graphemeCount(std::string_view utf8);

// Whether the text has at most `maximum` user-perceived characters (cheap when the bytes already fit).
bool fitsInGraphemes(std::string_view utf8, std::size_t maximum);

// The first `count` user-perceived characters.
std::string graphemePrefix(std::string_view utf8, std::size_t count);

// The longest beginning of at most `maximum` bytes that does not end inside a character's UTF-8
// sequence: for capping what is taken of a long text before it is converted.
std::string_view bytePrefix(std::string_view utf8, std::size_t maximum);

// Byte offsets of the boundaries between user-perceived characters, 0 and the text's size included,
// for cutting UTF-8 text by bytes without splitting a character.
std::vector<std::size_t> graphemeBoundaries(std::string_view utf8);

// The last boundary between user-perceived characters at or before byte `offset`, and the first at or
// after it (0 and the text's size count as boundaries). Only the characters around the offset are
// read, so cutting a window off a long text costs the window, not the text. `utf8` must be valid.
std::size_t graphemeBoundaryAtOrBefore(std::string_view utf8, std::size_t offset);
std::size_t graphemeBoundaryAtOrAfter(std::string_view utf8, std::size_t offset);

}  // namespace nudgerly::text
