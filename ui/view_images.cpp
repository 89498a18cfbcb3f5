#include "ui/view_images.h"

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/imagpng.h>

#include "ui/icons/view_images_png.h"

namespace korvo {
namespace {

// Where each group starts in the strip.
constexpr int kTreeFirst = 0;
constexpr int kLockFirst = kTreeFirst + kTreeImageCount;
constexpr int kRowFirst = kLockFirst + kLockStateImageCount;
constexpr int kArrowCount = 2;

const wxBitmap& Strip() {
    static const wxBitmap strip = [] {
        // The PNG decoder is not registered by default.
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
        return wxBitmap::NewFromPNGData(kViewImagesPng, sizeof kViewImagesPng);
    }();
    return strip;
}

wxImageList* ListOf(int first, int count) {
    auto* list = new wxImageList(kViewImageSize, kViewImageSize, true, count);
    const wxBitmap& strip = Strip();
    for (int i = first; i < first + count; ++i) {
        list->Add(
            strip.GetSubBitmap(wxRect(i * kViewImageSize, 0, kViewImageSize, kViewImageSize)));
    }
    return list;
}

}  // namespace

wxImageList* MakeTreeImages() {
    return ListOf(kTreeFirst, kTreeImageCount);
}

wxImageList* MakeLockStateImages() {
    return ListOf(kLockFirst, kLockStateImageCount);
}

wxImageList* MakeLetterRowImages() {
    return ListOf(kRowFirst, kLetterRowImageCount + kArrowCount);
}

}  // namespace korvo
