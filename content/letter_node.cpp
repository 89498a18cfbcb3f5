#include "content/letter_node.h"

#include <time.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "content/mail_header.h"
#include "content/mime_walk.h"
#include "platform/string_format.h"
#include "store/diag_log.h"

namespace korvo {
namespace {

void PutLength(char* at, uint32_t length) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
}

uint32_t GetLength(const char* at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(at[i])) << (8 * i);
    return v;
}

}  // namespace

std::string ReceiveTimeText(time_t when) {
    tm local{};
    localtime_r(&when, &local);
    return StrPrintf("%04d-%02d-%02d %02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                     local.tm_mday, local.tm_hour, local.tm_min);
}

time_t ParseReceiveTime(std::string_view text) {
    tm local{};
    char tail = 0;
    const std::string copy(text);
    if (sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d%c", &local.tm_year, &local.tm_mon, &local.tm_mday,
               &local.tm_hour, &local.tm_min, &tail) != 5) {
        return -1;
    }
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    return mktime(&local);
}

std::string LetterListDate(std::string_view header, const CMailCodec& codec) {
    std::string date = MailGetHeaderItem(header, "Date", 0, codec);
    if (date.empty()) {
        // Without Date, the stamp the receiving server wrote behind its ";".
        const std::string received = MailGetHeaderItem(header, "Received", 0, codec);
        const size_t semi = received.find(';');
        if (semi != std::string::npos) date = received.substr(semi + 1);
    }
    StrGetDate(date);
    return date;
}

std::vector<std::string> ReadColumnBlock(std::string_view block) {
    std::vector<std::string> texts;
    size_t offset = 0;
    while (block.size() - offset >= 4) {
        const uint32_t length = GetLength(block.data() + offset);
        if (length == 0 || length > 0x7FFFFFFF || length > block.size() - offset - 4) break;
        texts.emplace_back(block.substr(offset + 4, length - 1));
        offset += 4 + length;
    }
    return texts;
}

void mailInitProperty(baseDataStruct* letter, baseDataStruct* box, CBaseDataManage* data,
                      const CMailCodec& codec) {
    LogLine(DiagLog::kMessage,
            "++CSysMailBox::mailInitProperty(*ptLetter=%p , baseDataStruct *ptBox=%p) begin",
            static_cast<void*>(letter), static_cast<void*>(box));
    if (!letter) {
        LogLine(DiagLog::kMessage, "--CSysMailBox::mailInitProperty over");
        return;
    }
    auto block = std::make_unique<char[]>(kColumnBlockSize);
    std::memset(block.get(), 0, kColumnBlockSize);

    std::string storage;
    const std::string_view raw =
        WithCrLfLineEnds(getdata(letter, "SDATA").value_or(std::string_view()), storage);
    const std::string_view header = raw.substr(0, raw.find("\r\n\r\n"));

    switch (mailTestAttachment(raw)) {
        case 1:
            changestate(letter, 0, STATE_MAIL_MULTIPART | STATE_MAIL_ATTACHMENT);
            break;
        case 2:
            changestate(letter, STATE_MAIL_ATTACHMENT, STATE_MAIL_MULTIPART);
            break;
        default:
            changestate(letter, STATE_MAIL_MULTIPART | STATE_MAIL_ATTACHMENT, 0);
            break;
    }
    if (TextToLong(getinfo(letter, kThisNode, "read")) == 1) {
        changestate(letter, 0, STATE_MAIL_READ);
    } else {
        changestate(letter, STATE_MAIL_READ, 0);
    }
    setinfo(letter, kThisNode, "RECEIVETIME", ReceiveTimeText(time(nullptr)));
    setinfo(letter, kThisNode, "pType", "26");
    changestate(letter, LETTER_HIDDEN | LETTER_READ | LETTER_REPLIED, STATE_VALID);

    const long show = TextToLong(getinfo(box, kThisNode, "showColumn"));
    PutLength(block.get(), 1);
    size_t offset = 5;

    struct Column {
        long bit;
        const char* field;
    };
    static constexpr Column kColumns[] = {{kColumnFrom, "from"},
                                          {kColumnTo, "to"},
                                          {kColumnSubject, "Subject"},
                                          {kColumnDate, nullptr},
                                          {kColumnSize, nullptr}};
    std::vector<std::string> texts;
    for (const Column& column : kColumns) {
        if (!(show & column.bit)) continue;
        std::string text = column.field ? MailGetHeaderItem(header, column.field, 0, codec)
                           : column.bit == kColumnDate ? LetterListDate(header, codec)
                                                       : getinfo(letter, kThisNode, "mailLong");
        if (offset < kColumnBlockSize) {
            if (offset + 4 + text.size() < kColumnBlockSize) {
                PutLength(block.get() + offset, static_cast<uint32_t>(text.size() + 1));
                std::memcpy(block.get() + offset + 4, text.data(), text.size());
                offset += text.size() + 5;
            } else {
                offset = kColumnBlockSize;
            }
        }
        // Every selected column goes to ColumnData too, so that a letter whose texts did
        // not fit still shows all of its columns.
        texts.push_back(std::move(text));
    }

    if (offset < kColumnBlockSize) {
        setinfo(letter, kThisNode, "ColumnData", "-1");
    } else {
        PutLength(block.get(), 0);
        // Row texts: the first one goes to column 1, column 0 being the status.
        std::string columnData = "1 :";
        for (size_t i = 0; i < texts.size(); ++i) {
            if (i > 0) columnData += " ,";
            columnData += encodeinfo(texts[i]);
        }
        setinfo(letter, kThisNode, "ColumnData", columnData);
    }
    setdata(letter, std::move(block), static_cast<int32_t>(kColumnBlockSize));
    if (data) data->DataSaveList(letter, 1);
    LogLine(DiagLog::kMessage, "--CSysMailBox::mailInitProperty over");
}

}  // namespace korvo
