// The texts that describe list columns and rows.
//
// Column spec: items joined by " ,"; an item is `title [ =width] [ :alignment]`. The title
// keeps the property-text escapes (a backslash before "=", ":", ",", "-"). Row texts: pieces
// joined by " ,", the k-th piece for column k; a piece "N :text" puts text into column N and
// counting goes on from N + 1. A packed row: entries of a 32-bit little-endian length L and L
// bytes (the cell text and its terminating zero byte), column 0 first.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "controls/list_view.h"

namespace korvo {

inline constexpr int kDefaultColumnWidth = 50;
// Widths are kept within [0, kMaxColumnWidth]; a toolkit reads negative widths as commands.
inline constexpr int kMaxColumnWidth = 10000;

struct ColumnItem {
    std::string title;  // unescaped
    bool hasWidth = false;
    int width = kDefaultColumnWidth;
    bool hasAlign = false;
    ColumnAlign align = ColumnAlign::kLeft;
};

// Splits at every `separator`; an empty text gives one empty piece.
std::vector<std::string_view> SplitText(std::string_view text, std::string_view separator);

ColumnItem ParseColumnItem(std::string_view item);

struct RowPiece {
    long column;       // as written; may be out of range
    std::string text;  // unescaped
};
std::vector<RowPiece> ParseRowTexts(std::string_view texts);

// The cells of a packed row. Reading stops at a length that is not positive or an entry that
// does not lie wholly inside the buffer; a cell ends at its first zero byte.
std::vector<std::string> UnpackCells(std::string_view packed);
// Builds a packed row from cells (the inverse of UnpackCells).
std::string PackCells(const std::vector<std::string>& cells);

// The order of two cells when a list is sorted: numerically when both are decimal integers
// that print back exactly as written, else byte by byte as unsigned characters.
int CompareCells(std::string_view a, std::string_view b);

}  // namespace korvo
