// The pictures of the program's trees and lists, drawn by icons/make_view_images.py and
// embedded in the program: the tree items' images by the indexes the tree logic gives them,
// the lock state images, the letter rows' images and the sorted column's arrows.
#pragma once

#include <wx/imaglist.h>

namespace korvo {

inline constexpr int kViewImageSize = 16;
// Tree item images 0-23 in pairs (normal, selected).
inline constexpr int kTreeImageCount = 24;
// State images 0-3: none, locked, lock set but open, none.
inline constexpr int kLockStateImageCount = 4;
// Letter row images 0-3: none, a letter, with attachments, unread in several parts.
inline constexpr int kLetterRowImageCount = 4;

// New image lists; the control they are assigned to owns them.
wxImageList* MakeTreeImages();
wxImageList* MakeLockStateImages();
// The letter rows' images followed by the sorted column's two arrows (descending,
// ascending), which start at kLetterRowImageCount.
wxImageList* MakeLetterRowImages();

}  // namespace korvo
