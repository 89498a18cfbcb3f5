// The look of the letter list's rows: unread letters in bold, hidden ones in italics, deleted
// ones greyed, read by the row's item data.
#pragma once

#include "ui/wx_list_view.h"

namespace korvo {

void StyleLetterRows(WxListView& list);

}  // namespace korvo
