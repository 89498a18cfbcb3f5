// Letters of a box out to the files other mail programs read: a whole box (or some of its
// letters) as one mbox file, one letter as an .eml file. Both are written through ReplacedFile:
// a failure never leaves half a file under the chosen name.
#pragma once

#include <string>
#include <vector>

#include "model/sys_data.h"

namespace korvo {

struct ExportResult {
    long written = 0;
    bool ok = false;
    std::string error;
};

// Writes the letters of `box` (a Box node of `sys`), first to last, deleted ones included with
// their mark, to the mbox file `path`. With `only` given, just those letters of the box.
ExportResult ExportBox(CSysData& sys, baseDataStruct* box, const std::string& path,
                       const std::vector<baseDataStruct*>* only = nullptr);

// Writes the raw text of `letter` (a letter node of the open mail store) to `path`.
ExportResult SaveLetterAs(CSysData& sys, baseDataStruct* letter, const std::string& path);

}  // namespace korvo
