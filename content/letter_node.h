// The letter node: its state bits, its 500-byte column data block and mailInitProperty,
// which derives both from the raw letter so that the letter list never parses raw text.
//
// Column data block (the letter's STRDATA, exactly kColumnBlockSize bytes): entries from
// offset 0, each a 32-bit little-endian length L and L bytes (the text and a zero byte).
// Entry 0 is the empty status text; then from, to, subject, date and size for the columns
// selected by the box's showColumn bits, in that order. A block whose first word is 0 did not
// hold every text; `ColumnData` then carries them as row texts.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "content/mail_codec.h"
#include "store/data_manager.h"
#include "store/node.h"

namespace korvo {

inline constexpr uint32_t LETTER_HIDDEN = 0x00010000;
inline constexpr uint32_t LETTER_READ = 0x00020000;
inline constexpr uint32_t LETTER_REPLIED = 0x00040000;
inline constexpr uint32_t STATE_MAIL_MULTIPART = 0x00200000;
inline constexpr uint32_t STATE_MAIL_ATTACHMENT = 0x00400000;
inline constexpr uint32_t STATE_MAIL_READ = 0x00800000;

inline constexpr size_t kColumnBlockSize = 500;

// showColumn bits of the columns kept in the block.
inline constexpr long kColumnFrom = 0x80;
inline constexpr long kColumnTo = 0x100;
inline constexpr long kColumnSubject = 0x200;
inline constexpr long kColumnDate = 0x400;
inline constexpr long kColumnSize = 0x40;

// Sets the letter's state bits, RECEIVETIME, pType, column data block and ColumnData from
// its raw text (SDATA) for `box` (only its showColumn is read), then writes the letter through
// `data` (the mail store), which gives a letter without pointId a new point. Without a data
// manager the letter is only rebuilt in memory.
void mailInitProperty(baseDataStruct* letter, baseDataStruct* box, CBaseDataManage* data = nullptr,
                      const CMailCodec& codec = DefaultMailCodec());

// RECEIVETIME's form of `when` in local time ("%04d-%02d-%02d %02d:%02d"), and back (-1 for a
// text not of that form).
std::string ReceiveTimeText(time_t when);
time_t ParseReceiveTime(std::string_view text);

// The texts of a column data block in order, entry 0 included. Stops at an entry that is not
// positive or would not lie wholly inside the block; empty for a block whose first word is 0.
std::vector<std::string> ReadColumnBlock(std::string_view block);

// The list date of a letter header: Date, or else the stamp behind the first ";" of the first
// Received field, in StrGetDate's form.
std::string LetterListDate(std::string_view header, const CMailCodec& codec = DefaultMailCodec());

}  // namespace korvo
