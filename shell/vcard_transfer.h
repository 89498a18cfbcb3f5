// Address-book persons in and out as vCards (content/vcard.h): a vCard file into a folder, a
// folder out to a vCard 4.0 file (written through ReplacedFile).
#pragma once

#include <string>
#include <string_view>

#include "model/sys_data.h"

namespace korvo {

// The folder a book path names: "USER/ACCOUNT/FOLDER" (the account's book) or "USER//FOLDER"
// (the user's own book, the account part empty); further parts name folders inside folders. A
// "/" inside a caption is written twice. Null with `*error` when a part is not found or the
// user is locked.
baseDataStruct* FindBookFolderByPath(CSysData& sys, std::string_view path, std::string* error);

struct VCardResult {
    long persons = 0;
    bool ok = false;
    std::string error;
};

// Adds a person to `folder` for every card of the file `path` and syncs the stores.
VCardResult ImportVCardFile(CSysData& sys, baseDataStruct* folder, const std::string& path);

// Writes the persons of `folder` to `path`, one vCard 4.0 each.
VCardResult ExportVCardFile(CSysData& sys, baseDataStruct* folder, const std::string& path);

}  // namespace korvo
