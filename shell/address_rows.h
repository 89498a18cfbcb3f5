// What the address book views show of a person and how receivers travel as text: the row
// texts of the three person lists, the address a letter to a person goes to, and the receiver
// line of the selection dialog ("name<address>,name<address>") with its parser.
#pragma once

#include <string>
#include <string_view>

#include "controls/list_control.h"
#include "model/sys_mail_box.h"
#include "store/node.h"

namespace korvo {

// Column specs of the person lists.
inline constexpr std::string_view kBookPersonColumns = "状态 =70 ,Email =130 ,姓名 =210";
inline constexpr std::string_view kSidePersonColumns = "ST =0 ,Email =3000";
inline constexpr std::string_view kPickPersonColumns = "Email =70 ,Name =110";
inline constexpr std::string_view kFilledPersonColumns = "Email =130 ,姓名 =210";
inline constexpr std::string_view kNoPersonRow = "  ,Null email for show!";

// A person's name as the lists show it: double quotes become blanks, blanks trimmed.
std::string ShownName(const baseDataStruct* person);

// Row texts, with every value escaped so that a name like "Doe, John" stays in its column.
// Address book: "S", email, name. Side panel: blank, then "name"<email>. Pick lists: email,
// name.
std::string BookPersonRow(const baseDataStruct* person);
std::string SidePersonRow(const baseDataStruct* person);
std::string PickPersonRow(const baseDataStruct* person);

// The address a letter to the person goes to: `ReturnEmail`, or `email` without one.
std::string PersonAddress(const baseDataStruct* person);

bool IsPerson(const baseDataStruct* node);
// A node whose persons can be listed: a folder, a team or a book.
bool HoldsPersons(const baseDataStruct* node);
bool IsFolderOrTeam(const baseDataStruct* node);

// The node that holds the persons of `folder` (its link node, loaded), or none.
baseDataStruct* PersonsOf(CSysMailBox& mail, baseDataStruct* folder);

// Lists the persons of `holder` (from its last son to its first) as `rowText` gives them, each
// row carrying its node id. Returns the number of rows.
int ListPersons(CBaseListControl& list, baseDataStruct* holder,
                std::string (*rowText)(const baseDataStruct*));

// The person whose node id a row carries, among the sons of `holder`.
baseDataStruct* PersonOfRow(CBaseListControl& list, baseDataStruct* holder, int row);

// Splits a receiver text into persons: one son of `list` per address ("type =PersonInfo" with
// `name` and `email`). CR LF separates like ","; a "," inside double quotes or angle brackets
// belongs to the name.
void ParseReceivers(std::string_view text, baseDataStruct* list);
// The receiver text of the sons of `list`: "name<email>" joined by ","; a name holding one of
// ",;<>" is put in double quotes so that ParseReceivers reads it back whole.
std::string ReceiverText(const baseDataStruct* list);

}  // namespace korvo
