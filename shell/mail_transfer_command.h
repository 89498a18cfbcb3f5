// Letters in and out from the command line, without a window:
//
//   korvo [--data-dir DIR] --import PATH... --box USER/ACCOUNT/BOX
//   korvo [--data-dir DIR] --export USER/ACCOUNT/BOX --mbox FILE
//   korvo [--data-dir DIR] --import-vcard FILE --book USER/ACCOUNT/FOLDER
//   korvo [--data-dir DIR] --export-vcard FILE --book USER/ACCOUNT/FOLDER
//
// A box is named by the captions from its user down, separated by "/"; a "/" inside a caption
// is written twice. Boxes inside boxes add parts. PATHs are mbox files, Maildir folders and
// .eml files (content/mail_archive.h). A book folder is named likewise, "USER//FOLDER" for the
// user's own book (shell/vcard_transfer.h). Prints one line with the count; the problems go to
// the error stream, one line each.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "model/data_stores.h"
#include "transport/letter_import.h"

namespace korvo {

struct MailTransferRequest {
    enum class Kind { kNone, kImport, kExport, kImportVCard, kExportVCard };
    Kind kind = Kind::kNone;
    std::vector<std::string> paths;  // --import
    std::string box;                 // --box, or the box of --export
    std::string mbox;                // --mbox
    std::string vcard;               // the file of --import-vcard / --export-vcard
    std::string book;                // --book
};

// Takes the transfer argument at argv[*i] and its values, leaving *i at the last one used.
// 1 when taken, 0 when argv[*i] is not one of them, -1 with `*error` for a mistake.
int ParseTransferArgument(int argc, const char* const* argv, int* i, MailTransferRequest* request,
                          std::string* error);

// Whether a parsed request is complete; `*error` says what it lacks.
bool CheckTransferRequest(const MailTransferRequest& request, std::string* error);

// The captions of a box path ("a//b/c" gives "a/b", "c"); empty parts are kept.
std::vector<std::string> SplitBoxPath(std::string_view path);

// The valid son of `parent` of this type and caption, or null.
baseDataStruct* ValidSonNamed(baseDataStruct* parent, std::string_view type,
                              std::string_view caption);

// The account of that caption of the user of that caption; with an empty `account`, the user.
// Null with `*error` when one is missing or the user is locked.
baseDataStruct* FindUserOrAccount(CSysData& sys, const std::string& user,
                                  const std::string& account, std::string* error);

// The valid Box node the path names, or null with `*error` saying which part was not found or
// that the user is locked.
baseDataStruct* FindBoxByPath(CSysData& sys, std::string_view path, std::string* error);

// A box and the path FindBoxByPath takes for it.
struct NamedBox {
    std::string path;
    baseDataStruct* box = nullptr;
};

// Every valid box of every user that is not locked, boxes inside boxes included, in tree order.
std::vector<NamedBox> ListBoxPaths(CSysData& sys);

// Runs the request on the open stores; the exit status: 0, or 1 on any failure. An import
// asks `stopped` before each letter and ends early when it says so.
int RunMailTransfer(CDataStores& stores, const MailTransferRequest& request, std::ostream& out,
                    std::ostream& err, const std::function<bool()>& stopped = {});
int RunMailTransfer(CSysData& sys, const MailTransferRequest& request, std::ostream& out,
                    std::ostream& err, const std::function<bool()>& stopped = {});

// What an import prints: the problems on `err`, the count on `out`; the exit status.
int ReportImport(const ImportResult& result, std::ostream& out, std::ostream& err);

}  // namespace korvo
