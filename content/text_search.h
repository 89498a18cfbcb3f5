// Word search in decoded (UTF-8) texts, as the quick search and the find window do it: the
// search text is split into words at blanks, and a text matches when it holds every word,
// case ignored (simple case folding, each character mapped to its lower-case form). Bytes that
// are not UTF-8 stand for themselves.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// `text` with every character in its lower-case form; invalid UTF-8 bytes are kept as they are.
std::string FoldCase(std::string_view text);
// The same, appended to `out`.
void AppendFolded(std::string_view text, std::string& out);

class WordSearch {
  public:
    WordSearch() = default;
    explicit WordSearch(std::string_view words);

    // No words: everything matches.
    bool empty() const { return words_.empty(); }
    // Every word occurs in one of the texts (already folded with FoldCase).
    bool MatchesFolded(const std::vector<std::string>& foldedTexts) const;
    // The same for one folded text (several texts joined with a line feed, which no word holds).
    bool MatchesFoldedText(std::string_view folded) const;
    // Whether every text this search matches is also matched by `before`: each of `before`'s
    // words lies within one of these words (typing more only narrows).
    bool Narrows(const WordSearch& before) const;
    // The same for texts not yet folded.
    bool Matches(const std::vector<std::string_view>& texts) const;

  private:
    std::vector<std::string> words_;
};

}  // namespace korvo
