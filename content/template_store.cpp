#include "content/template_store.h"

#include "content/page_security.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

constexpr std::string_view kNotDefault = "-1";

// Page files carry no encoding of their own; template texts are UTF-8.
constexpr std::string_view kCharsetMeta =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">";
// The preview skeleton around "<!-- Document -->"; the font is SimSun.
constexpr std::string_view kPageHead =
    "<HTML><HEAD><STYLE>BODY {\tCOLOR: #0033cc; FONT-FAMILY: 宋体, Arial, Helvetica; "
    "FONT-SIZE: 9pt; MARGIN-LEFT: 10px; MARGIN-TOP: 25px}</STYLE></HEAD>"
    "<BODY BACKGROUND=template.jpg>";
constexpr std::string_view kPageTail = "&nbsp;</BODY></HTML>";

// Writes a changed template; false when it has no point or the write failed.
bool Write(CBaseDataManage& mail, baseDataStruct* node) {
    return mail.DataSavePoint(node) == 1;
}

}  // namespace

bool IsTemplate(const baseDataStruct* node) {
    return node && getinfo(node, kThisNode, "type") == kTemplateType;
}

bool IsListedTemplate(const baseDataStruct* node) {
    return IsTemplate(node) && teststate(node, STATE_VALID);
}

std::vector<baseDataStruct*> ListedTemplates(baseDataStruct* link) {
    std::vector<baseDataStruct*> out;
    if (!link) return out;
    for (baseDataStruct* son = link->firstSon(); son; son = son->nextBrother()) {
        if (IsListedTemplate(son)) out.push_back(son);
    }
    return out;
}

bool IsDefaultTemplate(const baseDataStruct* node) {
    return IsTemplate(node) && getinfo(node, kThisNode, "Default") != kNotDefault;
}

baseDataStruct* DefaultTemplateOf(baseDataStruct* link) {
    for (baseDataStruct* node : ListedTemplates(link)) {
        if (IsDefaultTemplate(node)) return node;
    }
    return nullptr;
}

int TemplateFormatIndex(std::string_view format) {
    for (size_t i = 0; i < kTemplateFormats.size(); ++i) {
        if (kTemplateFormats[i] == format) return static_cast<int>(i);
    }
    return 0;
}

baseDataStruct* NewTemplate(CBaseDataManage& mail, baseDataStruct* link) {
    if (!link) return nullptr;
    baseDataStruct* node = AddSonText(link, std::string(kNewTemplateProperty));
    setinfo(node, kThisNode, "SDATA", kNewTemplateText);
    if (mail.DataSaveList(node, 1) < 0) {
        deletepoint(node);
        return nullptr;
    }
    return node;
}

std::string TemplateText(CBaseDataManage& mail, baseDataStruct* node) {
    if (!node) return {};
    // Released after a write (or never read with the tree): the store still has it.
    if (teststate(node, STATE_HAS_SDATA) && !teststate(node, STATE_SDATA_CHANGED) &&
        getinfo(node, kThisNode, "SDATA").empty()) {
        mail.DataLoadPoint(node, -1, kLoadSdata);
    }
    return getinfo(node, kThisNode, "SDATA");
}

bool SaveTemplateText(CBaseDataManage& mail, baseDataStruct* node, std::string_view text) {
    if (!IsTemplate(node)) return false;
    if (TemplateText(mail, node) == text) return false;
    setinfo(node, kThisNode, "SDATA", text);
    return Write(mail, node);
}

bool SetTemplateFormat(CBaseDataManage& mail, baseDataStruct* node, std::string_view format) {
    if (!IsTemplate(node) || (format != kTextFormat && format != kHtmlFormat)) return false;
    if (getinfo(node, kThisNode, "format") == format) return false;
    setinfo(node, kThisNode, "format", format);
    return Write(mail, node);
}

bool RenameTemplate(CBaseDataManage& mail, baseDataStruct* node, std::string_view caption) {
    if (!IsTemplate(node) || caption.empty()) return false;
    if (getinfo(node, kThisNode, "caption") == caption) return false;
    setinfo(node, kThisNode, "caption", caption);
    return Write(mail, node);
}

bool SetDefaultTemplate(CBaseDataManage& mail, baseDataStruct* node) {
    if (!IsTemplate(node)) return false;
    if (getinfo(node, kThisNode, "Default") == kDefaultMark) return false;
    bool written = true;
    if (baseDataStruct* folder = node->parent()) {
        for (baseDataStruct* son = folder->firstSon(); son; son = son->nextBrother()) {
            if (son == node || getinfo(son, kThisNode, "Default") == kNotDefault) continue;
            setinfo(son, kThisNode, "Default", kNotDefault);
            written = Write(mail, son) && written;
        }
    }
    setinfo(node, kThisNode, "Default", kDefaultMark);
    return Write(mail, node) && written;
}

bool DeleteTemplate(CBaseDataManage& mail, baseDataStruct* node) {
    if (!IsTemplate(node)) return false;
    return mail.DataDeletePoint(node, 0);
}

std::string TemplatePreviewPage(std::string_view text) {
    std::string body;
    body.reserve(text.size() + text.size() / 4);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            body += "<br>";
            ++i;
        } else if (text[i] == ' ') {
            body += "&nbsp;";
        } else {
            body += text[i];
        }
    }
    std::string page;
    page.reserve(kPageSecurityMeta.size() + kCharsetMeta.size() + kPageHead.size() + body.size() +
                 kPageTail.size());
    page += kPageSecurityMeta;
    page += kCharsetMeta;
    page += kPageHead;
    page += body;
    page += kPageTail;
    return page;
}

bool ApplyTemplate(CBaseDataManage& mail, baseDataStruct* node, const TemplateContext& context,
                   AppliedTemplate* out) {
    if (!IsTemplate(node) || !out) return false;
    out->formatIndex = TemplateFormatIndex(getinfo(node, kThisNode, "format"));
    FilledTemplate filled = FillTemplate(TemplateText(mail, node), context);
    out->text = std::move(filled.text);
    out->caret = filled.caret;
    return true;
}

}  // namespace korvo
