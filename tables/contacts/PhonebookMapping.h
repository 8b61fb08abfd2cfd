// The phonebook's record mapping: a contact's device properties ("FirstName",
// "MobileTelephoneNumber", "Birthday", ...) to the contact columns (FIRST_NAME, TEL_NUM_0,
// BIRTHDAY, ...) and back. The two directions are not mirror images; the asymmetries are the
// phonebook's own behaviour:
//   - telephones: eleven properties in a fixed slot order; on the way in the numbers take
//     TEL_NUM_0.. in that order with a fixed TEL_TYPE text, upper-cased; on the way out each
//     TEL_TYPE claims its slot in a first pass and the numbers left over take the first free
//     slot in a second pass; the numbers lose characters the model type does not dial;
//   - addresses: the device street travels in ADDR_EXTADDR_n; ADDR_STREET_n and ADDR_POBOX_n
//     are never sent; the first address of each type is sent, later ones are dropped;
//   - e-mails come back typed "private"; only URL_ADDR_0 is sent; one anniversary;
//   - categories: the device's comma-separated names against the table's category list, as
//     GROUP_ID_n ids (0xFFFFFFFF for a name the list does not have);
//   - the readings of the names travel in ADD_INFOS as the reading-name document.
#pragma once

#include <string>
#include <vector>

#include "core/FieldMap.h"
#include "link/PhonebookPacket.h"
#include "wincompat/wintypes.h"

namespace qwb {

class CPropertyMap;
class CPropertyList;

// One entry of the table's category list: the phone's id and name.
struct PhonebookCategory {
  DWORD id = 0;
  std::u16string name;
};

// The lists a conversion consults: the categories, the speed dials and how many speed dials
// the last LoadInfo found.
struct PhonebookLists {
  std::vector<PhonebookCategory> categories;
  std::vector<pbpacket::SpeedDialEntry> speedDials;
  int speedDialCount = 0;
};

// Phone slots: 0 mobile, 1 home, 2 home 2, 3 business, 4 business 2, 5 home fax,
// 6 business fax, 7 radio, 8 car, 9 pager, 10 company.
inline constexpr int kPhoneSlots = 11;
inline constexpr int kTelColumns = 14;
// The device property of a slot ("MobileTelephoneNumber"), its phone kind code and the
// TEL_TYPE text the phonebook writes on read.
const char* PhoneSlotProperty(int slot);
int PhoneSlotKind(int slot);
const char16_t* PhoneSlotType(int slot);

// A telephone number as it goes to a phone of `modelType`: P, W, T lower-cased; 'p' dropped
// on the domestic models (0, 3, 4), '+' dropped on olDomesticLGT (4).
std::u16string NormalisePhoneNumber(std::u16string number, int modelType);

// Where the telephone entries of an item go: for each index below min(TEL_COUNT, 14) its
// normalised number and the slot it takes (-1 when it is empty or finds no slot), in the
// two passes of the write. `order` lists the indices in the order their properties are sent.
struct TelephoneAssignment {
  std::vector<std::u16string> numbers;
  std::vector<int> slots;
  std::vector<int> order;
};
TelephoneAssignment AssignTelephones(const FieldMap& fields, int modelType);

// Device -> item: the properties of contact `entryId` into the field map (every step but the
// picture, which fillPictureFieldsToMap does).
void ContactToFields(DWORD entryId, const CPropertyMap& props, const PhonebookLists& lists,
                     FieldMap* fields);

// Item -> device: the property list of a contact packet, in the phonebook's order, and the
// normalisation the write does to the item's own values. The picture is the caller's.
void FieldsToContact(FieldMap& fields, int modelType, const PhonebookLists& lists,
                     CPropertyList* list);

// The text of a field as the write reads it: a BSTR as is, other types converted to text,
// missing, empty and null as the empty text.
std::u16string FieldText(const FieldMap& fields, std::u16string_view key);
// Decimal text to integer as the phonebook converts TEL_DIAL and GROUP_ID (leading blanks and
// a sign allowed, digits up to the first other character; no digits gives 0).
long TextToLong(std::u16string_view text);

// The field names of numbered columns ("TEL_NUM_3").
std::u16string Numbered(std::u16string_view prefix, int n);

}  // namespace qwb
