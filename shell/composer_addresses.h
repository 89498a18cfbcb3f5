// The address check of the composer's receiver lines.
//
// A line holds one or more addresses separated by "," or ";" ("Ann <ann@example.org>; bob@x.org"),
// split as the sending session splits them (quoted names and comments honoured), so that a line
// that passes here is one the session can send to. Each address must be an RFC 5322 addr-spec
// in its dot-atom form: a local part of atoms (the letters, digits and !#$%&'*+-/=?^_`{|}~)
// joined by single dots, "@", and a domain of labels of letters, digits and "-" joined by dots.
#pragma once

#include <string_view>

namespace korvo {

// One bare address ("user@host").
bool IsDotAtomAddress(std::string_view address);

// Every address of the line passes IsDotAtomAddress, and there is at least one.
bool IsValidReceiverLine(std::string_view line);

}  // namespace korvo
