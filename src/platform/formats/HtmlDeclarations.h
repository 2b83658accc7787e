#pragma once

#include <string>
#include <string_view>

// Markup declarations in HTML: "<!" that opens neither a comment nor the doctype ("<!VR>", Outlook's
// "<![if !mso]>"). Browsers read one as a comment that ends at the next ">", or at the end of the
// document when none follows, so none of it is ever text; the HTML reader would show it as written.
namespace nudgerly::HtmlDeclarations {

// `html` without those declarations. Comments, the doctype, tags with their quoted values, and the
// content of elements whose text is read as written (script, style, textarea, title and the like) are
// kept as they are. Linear in the length of `html`.
std::string removed(std::string_view html);

}  // namespace nudgerly::HtmlDeclarations
