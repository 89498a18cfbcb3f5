// Letters in and out from the command line, without a window:
//
//   korvo [--data-dir DIR] --import PATH... --box USER/ACCOUNT/BOX
//   korvo [--data-dir DIR] --export USER/ACCOUNT/BOX --mbox FILE
//
// A box is named by the captions from its user down, separated by "/"; a "/" inside a caption
// is written twice. Boxes inside boxes add parts. PATHs are mbox files, Maildir folders and
// .eml files (content/mail_archive.h). Prints one line with the count; the problems go to the
// error stream, one line each.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "model/data_stores.h"

namespace korvo {

struct MailTransferRequest {
    enum class Kind { kNone, kImport, kExport };
    Kind kind = Kind::kNone;
    std::vector<std::string> paths;  // --import
    std::string box;                 // --box, or the box of --export
    std::string mbox;                // --mbox
};

// Takes the transfer argument at argv[*i] and its values, leaving *i at the last one used.
// 1 when taken, 0 when argv[*i] is not one of them, -1 with `*error` for a mistake.
int ParseTransferArgument(int argc, const char* const* argv, int* i, MailTransferRequest* request,
                          std::string* error);

// Whether a parsed request is complete; `*error` says what it lacks.
bool CheckTransferRequest(const MailTransferRequest& request, std::string* error);

// The captions of a box path ("a//b/c" gives "a/b", "c"); empty parts are kept.
std::vector<std::string> SplitBoxPath(std::string_view path);

// The valid Box node the path names, or null with `*error` saying which part was not found or
// that the user is locked.
baseDataStruct* FindBoxByPath(CSysData& sys, std::string_view path, std::string* error);

// Runs the request on the open stores; the exit status: 0, or 1 on any failure.
int RunMailTransfer(CDataStores& stores, const MailTransferRequest& request, std::ostream& out,
                    std::ostream& err);

}  // namespace korvo
