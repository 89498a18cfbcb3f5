// Letter templates as nodes of the mail store.
//
// A template folder of the system store ("TFolder") keeps its templates under its link node in
// the user's mail store. A template is a son of that link node with `type` "TemplateInfo",
// `caption` (its name), `pType` 100, `format` ("text module" or "html1 module") and the
// template text as SDATA. The folder's default template has `Default` "Default"; the others
// have no `Default` or "-1". Only templates with STATE_VALID are listed.
//
// Every change is written to the mail store at once through the data manager that holds the
// link node.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "content/template_macros.h"
#include "store/data_manager.h"
#include "store/node.h"

namespace korvo {

inline constexpr std::string_view kTemplateType = "TemplateInfo";
inline constexpr std::string_view kTextFormat = "text module";
inline constexpr std::string_view kHtmlFormat = "html1 module";
// The entries of the format combos, in order.
inline constexpr std::array<std::string_view, 2> kTemplateFormats = {kTextFormat, kHtmlFormat};

inline constexpr std::string_view kDefaultMark = "Default";
inline constexpr std::string_view kNewTemplateCaption = "New Template";
inline constexpr std::string_view kNewTemplateProperty =
    "type =TemplateInfo ,caption =New Template ,pType =100 ,format =text module";
inline constexpr std::string_view kNewTemplateText =
    "hi , @@RECEIVER@@\r\n\r\n    hello, my dear,\r\n\r\n\r\n\r\n\r\n"
    "                         @@SENDER@@\r\n"
    "                            @@SEND_DATE@@\r\n"
    "=================================================\r\n";

bool IsTemplate(const baseDataStruct* node);
// A template that is listed: of type TemplateInfo and STATE_VALID.
bool IsListedTemplate(const baseDataStruct* node);
// The listed templates under a folder's link node, in order.
std::vector<baseDataStruct*> ListedTemplates(baseDataStruct* link);
// Whether the template is its folder's default (`Default` present and not "-1").
bool IsDefaultTemplate(const baseDataStruct* node);
// The folder's first listed default template, or null.
baseDataStruct* DefaultTemplateOf(baseDataStruct* link);

// Position of `format` in kTemplateFormats; 0 (the first entry) for any other text.
int TemplateFormatIndex(std::string_view format);

// Appends a new template (kNewTemplateProperty, kNewTemplateText) to the link node and writes
// it. Null when it cannot be written; nothing is left behind then.
baseDataStruct* NewTemplate(CBaseDataManage& mail, baseDataStruct* link);

// The template's text, read from the store first when it is not in memory.
std::string TemplateText(CBaseDataManage& mail, baseDataStruct* node);

// Each writes the change; false when nothing changed or it could not be written.
bool SaveTemplateText(CBaseDataManage& mail, baseDataStruct* node, std::string_view text);
// Only the two formats of kTemplateFormats are taken.
bool SetTemplateFormat(CBaseDataManage& mail, baseDataStruct* node, std::string_view format);
// An empty caption is refused: the template would have no name to be picked by.
bool RenameTemplate(CBaseDataManage& mail, baseDataStruct* node, std::string_view caption);
// Makes the template its folder's only default. Nothing happens when it is the default already.
bool SetDefaultTemplate(CBaseDataManage& mail, baseDataStruct* node);
// Deletes the template from the store and from memory; `node` is gone afterwards.
bool DeleteTemplate(CBaseDataManage& mail, baseDataStruct* node);

// The page that previews an HTML template: line breaks become "<br>" and spaces "&nbsp;".
std::string TemplatePreviewPage(std::string_view text);

// A template applied to the composer's body.
struct AppliedTemplate {
    std::string text;
    size_t caret = 0;     // byte position in `text`
    int formatIndex = 0;  // entry of the format combo
};

// Fills in the template (its text loaded when needed) for `context`. False for a node that is
// not a template; `out` is then unchanged.
bool ApplyTemplate(CBaseDataManage& mail, baseDataStruct* node, const TemplateContext& context,
                   AppliedTemplate* out);

}  // namespace korvo
