#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Regex.h"

// Turning message bodies into the two texts the rest of the program reads: a single-line text for
// classification and a display text that keeps paragraphs.
namespace nudgerly::GmailBodyFormatter {

// One line, runs of whitespace as one blank and the ends trimmed. An HTML body gives the text of
// renderHTML, the same the detail pane shows. In plain text "&nbsp;" becomes a blank and "&amp;" "&"
// (in that order, so an escaped "&amp;nbsp;" stays "&nbsp;"); no other entity is decoded.
std::string classificationText(std::string_view text, bool isHTML);

// Runs of whitespace as one blank, the ends trimmed: the last step of classificationText.
std::string singleLine(std::string_view text);

// The visible text of an HTML body, block elements and line breaks on lines of their own. Scripts,
// styles and embedded media are dropped first and nothing is ever fetched. When the body defeats the
// clean-up patterns or the HTML reader, its tags are stripped instead.
std::string renderHTML(std::string_view html);

// Unix line ends, no-break spaces as blanks, no object replacement characters, lines trimmed of blanks
// and tabs, at most one empty line in a row and none at either end.
std::string normalize(std::string_view text);

// The compiled expressions used here, for the test that checks every pattern compiles.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::GmailBodyFormatter
