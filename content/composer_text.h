// The texts the composer takes from a letter it answers, forwards or reopens: which part is
// the letter's text, an HTML part reduced to plain text, and the quoted form of a text.
#pragma once

#include <string>
#include <string_view>

#include "store/node.h"

namespace korvo {

// The text of a letter walked by mailProcess (`parsed` holds one son per part): its first
// text/plain part, or when it has none its first HTML part reduced to text, or empty.
std::string LetterTextOf(const baseDataStruct* parsed);

// The text a reader sees of an HTML document: tags removed, the contents of head, script and
// style left out, line breaks where <br>, paragraphs, blocks, rows and list items end, runs of
// white space in the source read as one blank, and character references decoded to UTF-8.
// Lines end with CR LF.
std::string HtmlToText(std::string_view html);

// `mark` before the text and after every CR LF in it: ">" for an answer, "]" for a forward.
std::string QuoteText(std::string_view text, char mark);

}  // namespace korvo
