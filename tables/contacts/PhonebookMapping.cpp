#include "tables/contacts/PhonebookMapping.h"

#include <cmath>
#include <cstring>
#include <string>

#include "core/Log.h"
#include "link/DeviceRecordWM.h"
#include "platform/util/Utf.h"
#include "tables/contacts/XmlParserWMYomigana.h"

namespace qwb {
namespace {

struct PhoneSlot {
  const char* property;
  int kind;
  const char16_t* readType;
  const char16_t* accepted[3];  // TEL_TYPE texts that claim the slot on write
};

// In phone slot order; pager and radio have kind codes other than their slots.
constexpr PhoneSlot kSlots[kPhoneSlots] = {
    {"MobileTelephoneNumber", 0, u"Mobile", {u"Mobile", u"Mobile.Private", u"Mobile.Business"}},
    {"HomeTelephoneNumber", 1, u"Landline.Private", {u"Landline.Private"}},
    {"Home2TelephoneNumber", 2, u"Landline.Private2", {u"Landline.Private2"}},
    {"BusinessTelephoneNumber", 3, u"Landline.Business", {u"Landline.Business"}},
    {"Business2TelephoneNumber", 4, u"Landline.Business2", {u"Landline.Business2"}},
    {"HomeFaxNumber", 5, u"Fax.Private", {u"Fax.Private", u"Fax"}},
    {"BusinessFaxNumber", 6, u"Fax.Business", {u"Fax.Business", u"Fax"}},
    {"RadioTelephoneNumber", 9, u"RadioTel", {u"RadioTel"}},
    {"CarTelephoneNumber", 8, u"CarPhone", {u"CarPhone"}},
    {"PagerNumber", 7, u"Pager", {u"Pager"}},
    {"CompanyTelephoneNumber", 10, u"Company", {u"Company"}},
};

struct AddressGroup {
  const char16_t* type;
  const char* street;
  const char* city;
  const char* state;
  const char* postalCode;
  const char* country;
};

constexpr AddressGroup kAddressGroups[3] = {
    {u"private", "HomeAddressStreet", "HomeAddressCity", "HomeAddressState",
     "HomeAddressPostalCode", "HomeAddressCountry"},
    {u"business", "BusinessAddressStreet", "BusinessAddressCity", "BusinessAddressState",
     "BusinessAddressPostalCode", "BusinessAddressCountry"},
    {u"other", "OtherAddressStreet", "OtherAddressCity", "OtherAddressState",
     "OtherAddressPostalCode", "OtherAddressCountry"},
};

// Plain strings copied as they are, in the order of the read (the write has its own order).
struct PlainString {
  const char16_t* property;
  const char16_t* column;
};
constexpr PlainString kPlainOnRead[] = {
    {u"JobTitle", u"JOBTITLE"},
    {u"CompanyName", u"COMPANY"},
    {u"Department", u"DEPARTMENT"},
    {u"OfficeLocation", u"OFFICE_LOCATION"},
    {u"AssistantName", u"ASSISTANT"},
    {u"AssistantTelephoneNumber", u"ASSISTANT_TEL"},
    {u"Manager", u"MANAGER"},
    {u"GovernmentId", u"GOVTID"},
    {u"AccountName", u"ACCOUNT"},
    {u"CustomerId", u"CUSTOMERID"},
    {u"Spouse", u"SPOUSE"},
    {u"Children", u"CHILDREN"},
};

// 1900-01-01 00:00:00 and 2100-01-01 00:00:00 as OLE dates.
constexpr DATE kFirstSendableDate = 2.0;
constexpr DATE kFirstUnsendableDate = 73051.0;

void PutText(FieldMap* f, std::u16string_view column, std::u16string_view text) {
  PutField(*f, column, Variant::Str(text));
}

// Copies a present string property into a column.
void CopyIfPresent(const CPropertyMap& p, std::u16string_view property, FieldMap* f,
                   std::u16string_view column) {
  std::u16string text;
  if (p.GetString(property, &text)) PutText(f, column, text);
}

std::u16string ToUpperAscii(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return s;
}

// The names of the device's category list: separated by ',', empty tokens skipped, every token
// after the first losing its first character (the blank after the comma).
std::vector<std::u16string> SplitCategories(std::u16string_view text) {
  std::vector<std::u16string> names;
  size_t at = 0;
  while (at <= text.size()) {
    size_t comma = text.find(u',', at);
    std::u16string_view token =
        text.substr(at, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - at);
    if (!token.empty()) {
      if (!names.empty()) token.remove_prefix(1);
      names.emplace_back(token);
    }
    if (comma == std::u16string_view::npos) break;
    at = comma + 1;
  }
  return names;
}

long FieldLong(const FieldMap& f, std::u16string_view key) {
  const Variant* v = FindField(f, key);
  if (v && v->vt() == VT_I4) return v->Get().lVal;
  return TextToLong(FieldText(f, key));
}

// A date column that can be sent: a valid date from 1900 up to, not including, 2100.
bool SendableDate(const FieldMap& f, std::u16string_view key, DATE* out) {
  const Variant* v = FindField(f, key);
  if (!v || v->vt() != VT_DATE) return false;
  DATE d = v->Get().date;
  if (!std::isfinite(d) || d < kFirstSendableDate || d >= kFirstUnsendableDate) return false;
  *out = d;
  return true;
}

void AddText(CPropertyList* list, const char* property, const std::u16string& text) {
  if (!text.empty()) list->AddString(property, text);
}

// The names a contact read puts for every contact (about sixty), built once: numbered column
// names, and the phone and address property names in the form a property map is read with.
struct NumberedColumn {
  NumberedColumn(std::u16string_view prefix, int count) {
    for (int i = 0; i < count; ++i) names.push_back(Numbered(prefix, i));
  }
  std::u16string_view operator[](int n) const { return names.at(static_cast<size_t>(n)); }
  std::vector<std::u16string> names;
};

constexpr int kAddressParts = 5;
constexpr int kGroupColumns = 50;

struct ReadNames {
  NumberedColumn telNum{u"TEL_NUM_", kTelColumns};
  NumberedColumn telType{u"TEL_TYPE_", kTelColumns};
  NumberedColumn telDial{u"TEL_DIAL_", kTelColumns};
  // ADDR_EXTADDR_ and the rest in the order of AddressGroup's properties.
  NumberedColumn addrPart[kAddressParts] = {
      {u"ADDR_EXTADDR_", 3}, {u"ADDR_LOCALITY_", 3}, {u"ADDR_REGION_", 3},
      {u"ADDR_POSTALCODE_", 3}, {u"ADDR_COUNTRY_", 3}};
  NumberedColumn addrType{u"ADDR_TYPE_", 3};
  NumberedColumn addrStreet{u"ADDR_STREET_", 3};
  NumberedColumn groupId{u"GROUP_ID_", kGroupColumns};
  std::u16string phoneProperty[kPhoneSlots];
  std::u16string addressProperty[3][kAddressParts];

  ReadNames() {
    for (int slot = 0; slot < kPhoneSlots; ++slot)
      phoneProperty[slot] = utf::Widen(kSlots[slot].property);
    for (int g = 0; g < 3; ++g) {
      const AddressGroup& group = kAddressGroups[g];
      const char* parts[kAddressParts] = {group.street, group.city, group.state, group.postalCode,
                                          group.country};
      for (int part = 0; part < kAddressParts; ++part)
        addressProperty[g][part] = utf::Widen(parts[part]);
    }
  }
};

const ReadNames& Names() {
  static const ReadNames names;
  return names;
}

void TelephonesToFields(DWORD entryId, const CPropertyMap& p, const PhonebookLists& lists,
                        FieldMap* f) {
  const ReadNames& names = Names();
  int n = 0;
  std::u16string number;
  for (int slot = 0; slot < kPhoneSlots; ++slot) {
    if (!p.GetString(names.phoneProperty[slot], &number)) continue;
    PutText(f, names.telNum[n], ToUpperAscii(number));
    PutText(f, names.telType[n], kSlots[slot].readType);
    if (lists.speedDialCount >= 1) {
      const uint32_t propertyId = pbpacket::PropertyIdOfKind(kSlots[slot].kind);
      for (const pbpacket::SpeedDialEntry& e : lists.speedDials) {
        if (e.entryId == entryId && e.propertyId == propertyId) {
          PutText(f, names.telDial[n], FromUtf8(std::to_string(static_cast<int32_t>(e.number))));
          break;
        }
      }
    }
    ++n;
  }
  PutField(*f, u"TEL_COUNT", Variant::I4(n));
  for (int i = n; i < kTelColumns; ++i) {
    PutField(*f, names.telNum[i], Variant::Null());
    PutField(*f, names.telType[i], Variant::Null());
    PutField(*f, names.telDial[i], Variant::Null());
  }
}

void AddressesToFields(const CPropertyMap& p, FieldMap* f) {
  const ReadNames& names = Names();
  int n = 0;
  std::u16string text;
  for (int g = 0; g < 3; ++g) {
    bool any = false;
    for (int part = 0; part < kAddressParts; ++part) {
      if (p.GetString(names.addressProperty[g][part], &text)) {
        PutText(f, names.addrPart[part][n], text);
        any = true;
      } else {
        PutField(*f, names.addrPart[part][n], Variant::Null());
      }
    }
    if (!any) continue;  // the next group writes the same index
    PutText(f, names.addrType[n], kAddressGroups[g].type);
    PutField(*f, names.addrStreet[n], Variant::Null());
    ++n;
  }
  PutField(*f, u"ADDR_COUNT", Variant::I4(n));
}

void CategoriesToFields(const CPropertyMap& p, const PhonebookLists& lists, FieldMap* f) {
  PutField(*f, u"GROUP_ID_0", Variant::I4(0));
  std::u16string text;
  if (!p.GetString(u"Categories", &text)) return;
  std::vector<std::u16string> names = SplitCategories(text);
  for (size_t i = 0; i < names.size() && i < kGroupColumns; ++i) {
    ULONG id = 0xFFFFFFFFu;
    for (const PhonebookCategory& c : lists.categories) {
      if (c.name == names[i]) {
        id = c.id;
        break;
      }
    }
    PutField(*f, Names().groupId[static_cast<int>(i)], Variant::UI4(id));
  }
}

void AddressesToContact(const FieldMap& f, CPropertyList* list) {
  bool sent[3] = {false, false, false};
  long count = FieldLong(f, u"ADDR_COUNT");
  for (int i = 0; i < count && i < 3; ++i) {
    std::u16string type = FieldText(f, Numbered(u"ADDR_TYPE_", i));
    int g = type == u"private" ? 0 : type == u"business" ? 1 : type == u"other" ? 2 : -1;
    if (g < 0 || sent[g]) continue;
    sent[g] = true;
    const AddressGroup& group = kAddressGroups[g];
    AddText(list, group.street, FieldText(f, Numbered(u"ADDR_EXTADDR_", i)));
    AddText(list, group.city, FieldText(f, Numbered(u"ADDR_LOCALITY_", i)));
    AddText(list, group.state, FieldText(f, Numbered(u"ADDR_REGION_", i)));
    AddText(list, group.country, FieldText(f, Numbered(u"ADDR_COUNTRY_", i)));
    AddText(list, group.postalCode, FieldText(f, Numbered(u"ADDR_POSTALCODE_", i)));
  }
}

void CategoriesToContact(const FieldMap& f, const PhonebookLists& lists, CPropertyList* list) {
  std::u16string joined;
  for (int i = 0; i < 50; ++i) {
    DWORD id = static_cast<DWORD>(TextToLong(FieldText(f, Numbered(u"GROUP_ID_", i))));
    for (const PhonebookCategory& c : lists.categories) {
      if (c.id != id) continue;
      if (!joined.empty()) joined += u", ";
      joined += c.name;
      break;
    }
  }
  AddText(list, "Categories", joined);
}

// Writes a non-empty text column back as a BSTR copy of itself.
void NormaliseText(FieldMap& f, std::u16string_view column) {
  std::u16string text = FieldText(f, column);
  if (!text.empty()) PutText(&f, column, text);
}

}  // namespace

const char* PhoneSlotProperty(int slot) { return kSlots[slot].property; }
int PhoneSlotKind(int slot) { return kSlots[slot].kind; }
const char16_t* PhoneSlotType(int slot) { return kSlots[slot].readType; }

std::u16string Numbered(std::u16string_view prefix, int n) {
  std::u16string name(prefix);
  for (char c : std::to_string(n)) name.push_back(static_cast<char16_t>(c));
  return name;
}

std::u16string FieldText(const FieldMap& fields, std::u16string_view key) {
  const Variant* v = FindField(fields, key);
  if (!v || v->vt() == VT_EMPTY || v->vt() == VT_NULL) return {};
  if (v->vt() == VT_BSTR) return BStr(v->Get().bstrVal).Str();
  Variant text;
  if (FAILED(VariantChangeType(text.Ptr(), v->Ptr(), 0, VT_BSTR))) return {};
  return BStr(text.Get().bstrVal).Str();
}

long TextToLong(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > 0xFFFFFFFFll) value = 0xFFFFFFFFll;  // keeps 32 bits' worth
  }
  return static_cast<long>(negative ? -value : value);
}

std::u16string NormalisePhoneNumber(std::u16string number, int modelType) {
  for (char16_t& c : number) {
    if (c == u'P') c = u'p';
    if (c == u'W') c = u'w';
    if (c == u'T') c = u't';
  }
  std::u16string out;
  const bool dropPause = modelType == 0 || modelType == 3 || modelType == 4;
  const bool dropPlus = modelType == 4;
  for (char16_t c : number) {
    if ((dropPause && c == u'p') || (dropPlus && c == u'+')) continue;
    out.push_back(c);
  }
  return out;
}

TelephoneAssignment AssignTelephones(const FieldMap& f, int modelType) {
  TelephoneAssignment a;
  const long count = FieldLong(f, u"TEL_COUNT");
  const int used = count < 0 ? 0 : count > kTelColumns ? kTelColumns : static_cast<int>(count);
  bool taken[kPhoneSlots] = {};
  std::vector<bool> unassigned(used, false);
  a.numbers.resize(used);
  a.slots.assign(used, -1);
  for (int i = 0; i < used; ++i) {
    a.numbers[i] = NormalisePhoneNumber(FieldText(f, Numbered(u"TEL_NUM_", i)), modelType);
    if (a.numbers[i].empty()) continue;
    std::u16string type = FieldText(f, Numbered(u"TEL_TYPE_", i));
    for (int slot = 0; slot < kPhoneSlots && a.slots[i] < 0; ++slot) {
      if (taken[slot]) continue;
      for (const char16_t* accepted : kSlots[slot].accepted) {
        if (accepted && EqualsNoCase(type, accepted)) {
          a.slots[i] = slot;
          taken[slot] = true;
          a.order.push_back(i);
          break;
        }
      }
    }
    if (a.slots[i] < 0) unassigned[i] = true;
  }
  for (int i = 0; i < used; ++i) {
    if (a.numbers[i].empty() || !unassigned[i]) continue;
    for (int slot = 0; slot < count && slot < kPhoneSlots; ++slot) {
      if (taken[slot]) continue;
      a.slots[i] = slot;
      taken[slot] = true;
      a.order.push_back(i);
      break;
    }
  }
  return a;
}

void ContactToFields(DWORD entryId, const CPropertyMap& p, const PhonebookLists& lists,
                     FieldMap* f) {
  PutField(*f, u"SUID", Variant::UI4(entryId));

  // Names.
  std::u16string text;
  if (p.GetString(u"FirstName", &text)) {
    PutText(f, u"FIRST_NAME", text);
    if (WMDebugWanted())
      WMDebug("[%s] First Name : %s", "CDataTableWMPhonebook::fillNameFieldsToMap",
              ToUtf8(text).c_str());
  }
  CopyIfPresent(p, u"LastName", f, u"LAST_NAME");
  CopyIfPresent(p, u"MiddleName", f, u"MIDDLE_NAME");
  CopyIfPresent(p, u"Nickname", f, u"NICK_NAME");
  CopyIfPresent(p, u"FileAs", f, u"DISPLAY_NAME");
  CopyIfPresent(p, u"Title", f, u"TITLE_NAME");
  CopyIfPresent(p, u"Suffix", f, u"SUFFIX_NAME");
  std::u16string yomiFirst, yomiLast;
  p.GetString(u"YomiFirstName", &yomiFirst);
  p.GetString(u"YomiLastName", &yomiLast);
  if (!yomiFirst.empty() || !yomiLast.empty())
    PutText(f, u"ADD_INFOS", BuildYomiganaDocument(yomiLast, yomiFirst));

  TelephonesToFields(entryId, p, lists, f);
  AddressesToFields(p, f);

  PutField(*f, u"EMAIL_COUNT", Variant::I4(0));
  int n = 0;
  for (int k = 1; k <= 3; ++k) {
    if (!p.GetString(FromUtf8("Email" + std::to_string(k) + "Address"), &text)) continue;
    PutText(f, Numbered(u"EMAIL_ADDR_", n), text);
    PutText(f, Numbered(u"EMAIL_TYPE_", n), u"private");
    ++n;
  }
  if (n > 0) PutField(*f, u"EMAIL_COUNT", Variant::I4(n));

  PutField(*f, u"BIRTHDAY_LUNAR", Variant::I4(0));
  double date = 0;
  if (p.GetDate(u"Birthday", &date)) PutField(*f, u"BIRTHDAY", Variant::Date(date));

  PutField(*f, u"ANNIVERSARY_COUNT", Variant::I4(0));
  PutField(*f, u"ANNIVERSARY_LUNAR_0", Variant::I4(0));
  if (p.GetDate(u"Anniversary", &date)) {
    PutField(*f, u"ANNIVERSARY_COUNT", Variant::I4(1));
    PutText(f, u"ANNIVERSARY_TYPE_0", u"ANNIVERSARY");
    PutField(*f, u"ANNIVERSARY_DATE_0", Variant::Date(date));
  } else {
    PutField(*f, u"ANNIVERSARY_TYPE_0", Variant::Null());
    PutField(*f, u"ANNIVERSARY_DATE_0", Variant::Null());
  }

  PutField(*f, u"URL_COUNT", Variant::I4(0));
  if (p.GetString(u"WebPage", &text)) {
    PutText(f, u"URL_ADDR_0", text);
    PutText(f, u"URL_TYPE_0", u"private");
    PutField(*f, u"URL_COUNT", Variant::I4(1));
  }

  PutField(*f, u"MESSENGER_COUNT", Variant::I4(0));
  n = 0;
  for (int k = 1; k <= 3; ++k) {
    if (!p.GetString(FromUtf8("IM" + std::to_string(k) + "Address"), &text)) continue;
    PutText(f, Numbered(u"MESSENGER_ID_", n), text);
    ++n;
  }
  if (n > 0) PutField(*f, u"MESSENGER_COUNT", Variant::I4(n));

  CopyIfPresent(p, u"Body", f, u"NOTES");
  CategoriesToFields(p, lists, f);
  for (const PlainString& s : kPlainOnRead) CopyIfPresent(p, s.property, f, s.column);
  PutField(*f, u"RINGTON_TYPE", Variant::Null());
  CopyIfPresent(p, u"RingTone", f, u"RINGTON");
}

void FieldsToContact(FieldMap& f, int modelType, const PhonebookLists& lists,
                     CPropertyList* list) {
  AddText(list, "Title", FieldText(f, u"TITLE_NAME"));
  std::u16string first = FieldText(f, u"FIRST_NAME");
  WMDebug("[%s] first=%s \n", "CDataTableWMPhonebook::makeRapiPacket", ToUtf8(first).c_str());
  AddText(list, "FirstName", first);
  AddText(list, "Nickname", FieldText(f, u"NICK_NAME"));
  AddText(list, "MiddleName", FieldText(f, u"MIDDLE_NAME"));
  AddText(list, "LastName", FieldText(f, u"LAST_NAME"));
  AddText(list, "Suffix", FieldText(f, u"SUFFIX_NAME"));
  AddText(list, "FileAs", FieldText(f, u"DISPLAY_NAME"));
  std::u16string readings = FieldText(f, u"ADD_INFOS");
  if (!readings.empty()) {
    std::u16string yomiLast, yomiFirst;
    ParseYomiganaDocument(readings, &yomiLast, &yomiFirst);
    AddText(list, "YomiFirstName", yomiFirst);
    AddText(list, "YomiLastName", yomiLast);
  }
  AddText(list, "CompanyName", FieldText(f, u"COMPANY"));
  AddText(list, "JobTitle", FieldText(f, u"JOBTITLE"));

  TelephoneAssignment tel = AssignTelephones(f, modelType);
  for (int i : tel.order) AddText(list, kSlots[tel.slots[i]].property, tel.numbers[i]);

  static const char* const kEmails[3] = {"Email1Address", "Email2Address", "Email3Address"};
  const long emails = FieldLong(f, u"EMAIL_COUNT");
  for (int i = 0; i < emails && i < 3; ++i) {
    AddText(list, kEmails[i], FieldText(f, Numbered(u"EMAIL_ADDR_", i)));
    NormaliseText(f, Numbered(u"EMAIL_ADDR_", i));
  }
  const long urls = FieldLong(f, u"URL_COUNT");
  for (int i = 0; i < urls && i < 2; ++i) {
    std::u16string url = FieldText(f, Numbered(u"URL_ADDR_", i));
    if (i == 0) AddText(list, "WebPage", url);
    NormaliseText(f, Numbered(u"URL_ADDR_", i));
  }
  static const char* const kMessengers[3] = {"IM1Address", "IM2Address", "IM3Address"};
  const long messengers = FieldLong(f, u"MESSENGER_COUNT");
  for (int i = 0; i < messengers && i < 3; ++i)
    AddText(list, kMessengers[i], FieldText(f, Numbered(u"MESSENGER_ID_", i)));

  AddressesToContact(f, list);

  DATE date = 0;
  if (SendableDate(f, u"BIRTHDAY", &date)) list->AddDate("Birthday", date);
  if (SendableDate(f, u"ANNIVERSARY_DATE_0", &date)) list->AddDate("Anniversary", date);
  AddText(list, "Body", FieldText(f, u"NOTES"));
  CategoriesToContact(f, lists, list);

  static const std::pair<const char16_t*, const char*> kTail[] = {
      {u"DEPARTMENT", "Department"},   {u"OFFICE_LOCATION", "OfficeLocation"},
      {u"ASSISTANT", "AssistantName"}, {u"ASSISTANT_TEL", "AssistantTelephoneNumber"},
      {u"MANAGER", "Manager"},         {u"GOVTID", "GovernmentId"},
      {u"ACCOUNT", "AccountName"},     {u"CUSTOMERID", "CustomerId"},
      {u"SPOUSE", "Spouse"},           {u"CHILDREN", "Children"},
      {u"RINGTON", "RingTone"},
  };
  for (const auto& [column, property] : kTail) AddText(list, property, FieldText(f, column));

  for (const char16_t* column :
       {u"FIRST_NAME", u"NICK_NAME", u"LAST_NAME", u"DISPLAY_NAME", u"COMPANY", u"JOBTITLE"})
    NormaliseText(f, column);
  PutField(f, u"TEL_COUNT", Variant::I4(FieldLong(f, u"TEL_COUNT")));
}

}  // namespace qwb
