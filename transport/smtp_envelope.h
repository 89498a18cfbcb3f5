// What the sending session reads from a stored letter and how the letter goes on the wire.
//
// The envelope comes from the letter's own header: the bare address of From, and every
// address of To and CC. Address lists are split at "," and ";" outside quoted names, angle
// brackets and comments. The data is sent with every line end as CR LF and a second "." in
// front of every line that starts with ".", so no text can end the data early; the stored text
// itself is never changed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvo {

struct SmtpEnvelope {
    std::string from;                     // bare address; empty when the letter names none
    std::vector<std::string> recipients;  // bare addresses, each once, in header order
    std::vector<std::string> unusable;    // list entries that are no address (as written)
};

// The value of the first header field `name` (case-insensitive) of `header`, continuation
// lines joined, trimmed, encoded words left as they are. Empty when absent.
std::string RawHeaderField(std::string_view header, std::string_view name);

// The entries of an address list, as written (trimmed), without empty ones. A group name
// ("friends: a@x, b@y;") is dropped from its first entry.
std::vector<std::string> SplitAddressList(std::string_view list);

// The bare address of one list entry: the text inside its angle brackets, or the entry
// without comments; quoted names never count.
std::string EntryAddress(std::string_view entry);

// An address that can stand between "<" and ">" in a command: not empty, no blanks, control
// bytes, brackets or quotes.
bool IsEnvelopeAddress(std::string_view address);

// The envelope of a stored message (its header is the text before the first empty line).
SmtpEnvelope ReadEnvelope(std::string_view message);

// Adds the addresses of `list` (an address list such as a blind-copy line) to the envelope's
// recipients, each once, as ReadEnvelope adds those of the header.
void AddRecipients(SmtpEnvelope& envelope, std::string_view list);

// Turns message text into its wire form piece by piece; the pieces may split anywhere.
class DataStuffer {
  public:
    // Appends the wire form of the next `piece` of the message to `out`.
    void Add(std::string_view piece, std::string& out);
    // What ends the data: ".\r\n" when the text so far ends a line, else "\r\n.\r\n".
    std::string_view Terminator() const;

  private:
    bool atLineStart_ = true;
    bool afterCr_ = false;
};

}  // namespace korvo
