#pragma once

#include <string>
#include <string_view>

namespace loftwing {

// Removes style and script elements, then comments, from HTML text, each removed piece becoming
// one space. The result equals two ICU regular-expression replacements applied in turn,
//   "(?is)<(style|script)\b[^>]*>.*?</\1>"  then  "(?s)<!--.*?-->",
// with ICU's case folding for the element names and its default word boundary, but runs in time
// linear in the input: unclosed openings cannot make it rescan the rest of the text. The input is
// UTF-8 text (as decoded mail bodies are); an ill-formed sequence counts as one non-letter.
std::string sanitizedHTML(std::string_view html);

}  // namespace loftwing
