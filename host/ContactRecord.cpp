#include "host/ContactRecord.h"

#include "host/HostError.h"
#include "host/ItemColumns.h"
#include "host/Text.h"
#include "wincompat/comptr.h"

namespace qwbhost {

const char* const kPhoneKinds[11] = {
    "Mobile",      "Landline.Private", "Landline.Private2", "Landline.Business",
    "Landline.Business2", "Fax.Private", "Fax.Business",    "RadioTel",
    "CarPhone",    "Pager",            "Company"};

namespace {

std::u16string Col(const char* prefix, size_t n) { return Utf16(prefix + std::to_string(n)); }

std::string TextAt(IItem* item, const char* prefix, size_t n) {
  return Text(item, Col(prefix, n).c_str());
}

void PutAt(IItem* item, const char* prefix, size_t n, const std::string& s) {
  std::u16string name = Col(prefix, n);
  if (s.empty()) {
    Put(item, name.c_str(), Variant::Null());
  } else {
    PutText(item, name.c_str(), s);
  }
}

void PutOrNull(IItem* item, const char16_t* name, const std::string& s) {
  if (s.empty()) {
    Put(item, name, Variant::Null());
  } else {
    PutText(item, name, s);
  }
}

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  size_t at = text.rfind(open);
  if (at == std::string::npos) return {};
  at += open.size();
  size_t end = text.find(close, at);
  return end == std::string::npos ? std::string() : text.substr(at, end - at);
}

}  // namespace

std::string ContactRecord::Title() const {
  if (!displayName.empty()) return displayName;
  std::string name = first;
  if (!last.empty()) name += (name.empty() ? "" : " ") + last;
  if (!name.empty()) return name;
  if (!company.empty()) return company;
  if (!emails.empty()) return emails[0];
  if (!phones.empty()) return phones[0].number;
  return "(no name)";
}

std::string ReadingDocument(const std::string& last, const std::string& first) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Yomigana><YomiLastName>" + last +
         "</YomiLastName>\r\n<YomiFirstName>" + first + "</YomiFirstName>\r\n</Yomigana>";
}

void ParseReadingDocument(const std::string& text, std::string* last, std::string* first) {
  *last = Between(text, "<YomiLastName>", "</YomiLastName>");
  *first = Between(text, "<YomiFirstName>", "</YomiFirstName>");
}

ContactRecord ReadContact(IItem* item) {
  ContactRecord c;
  SUID suid = SUID_NULL;
  CheckHr("SUID", item->get_SUID(&suid));
  c.id = suid;
  c.displayName = Text(item, u"DISPLAY_NAME");
  c.first = Text(item, u"FIRST_NAME");
  c.last = Text(item, u"LAST_NAME");
  c.middle = Text(item, u"MIDDLE_NAME");
  c.nick = Text(item, u"NICK_NAME");
  c.prefix = Text(item, u"TITLE_NAME");
  c.suffix = Text(item, u"SUFFIX_NAME");
  ParseReadingDocument(Text(item, u"ADD_INFOS"), &c.readingLast, &c.readingFirst);
  c.company = Text(item, u"COMPANY");
  c.jobTitle = Text(item, u"JOBTITLE");
  c.department = Text(item, u"DEPARTMENT");
  c.office = Text(item, u"OFFICE_LOCATION");
  c.notes = Text(item, u"NOTES");
  c.assistant = Text(item, u"ASSISTANT");
  c.assistantPhone = Text(item, u"ASSISTANT_TEL");
  c.manager = Text(item, u"MANAGER");
  c.spouse = Text(item, u"SPOUSE");
  c.children = Text(item, u"CHILDREN");
  c.ringtone = Text(item, u"RINGTON");
  LONG n = Integer(item, u"TEL_COUNT").value_or(0);
  for (LONG i = 0; i < n && i < 14; ++i)
    c.phones.push_back({TextAt(item, "TEL_TYPE_", i), TextAt(item, "TEL_NUM_", i),
                        TextAt(item, "TEL_DIAL_", i)});
  n = Integer(item, u"EMAIL_COUNT").value_or(0);
  for (LONG i = 0; i < n && i < 3; ++i) c.emails.push_back(TextAt(item, "EMAIL_ADDR_", i));
  if (Integer(item, u"URL_COUNT").value_or(0) > 0) c.url = Text(item, u"URL_ADDR_0");
  n = Integer(item, u"MESSENGER_COUNT").value_or(0);
  for (LONG i = 0; i < n && i < 3; ++i) c.messengers.push_back(TextAt(item, "MESSENGER_ID_", i));
  n = Integer(item, u"ADDR_COUNT").value_or(0);
  for (LONG i = 0; i < n && i < 3; ++i)
    c.addresses.push_back({TextAt(item, "ADDR_TYPE_", i), TextAt(item, "ADDR_EXTADDR_", i),
                           TextAt(item, "ADDR_LOCALITY_", i), TextAt(item, "ADDR_REGION_", i),
                           TextAt(item, "ADDR_POSTALCODE_", i), TextAt(item, "ADDR_COUNTRY_", i)});
  c.birthday = Date(item, u"BIRTHDAY");
  if (Integer(item, u"ANNIVERSARY_COUNT").value_or(0) > 0)
    c.anniversary = Date(item, u"ANNIVERSARY_DATE_0");
  for (size_t i = 0; i < 50; ++i) {
    Variant v = Value(item, Col("GROUP_ID_", i).c_str());
    if (v.vt() == VT_UI4) {
      c.groupIds.push_back(v.Get().ulVal);
    } else if (v.vt() == VT_I4 && v.Get().lVal != 0) {
      c.groupIds.push_back(static_cast<ULONG>(v.Get().lVal));
    } else {
      break;
    }
  }
  if (Text(item, u"PHOTO_TYPE") == "IMAGE_PHOTO") {
    c.photo = Text(item, u"PHOTO");
    c.photoPath = Text(item, u"PHOTO_LOCAL_PATH");
  }
  return c;
}

GroupRecord ReadGroup(IItem* item) {
  GroupRecord g;
  SUID suid = SUID_NULL;
  CheckHr("SUID", item->get_SUID(&suid));
  g.id = suid;
  g.name = Text(item, u"NAME");
  return g;
}

void ApplyContact(IItem* item, const ContactRecord& c) {
  PutOrNull(item, u"DISPLAY_NAME", c.displayName);
  PutOrNull(item, u"FIRST_NAME", c.first);
  PutOrNull(item, u"LAST_NAME", c.last);
  PutOrNull(item, u"MIDDLE_NAME", c.middle);
  PutOrNull(item, u"NICK_NAME", c.nick);
  PutOrNull(item, u"TITLE_NAME", c.prefix);
  PutOrNull(item, u"SUFFIX_NAME", c.suffix);
  PutOrNull(item, u"ADD_INFOS", c.readingFirst.empty() && c.readingLast.empty()
                                    ? std::string()
                                    : ReadingDocument(c.readingLast, c.readingFirst));
  PutOrNull(item, u"COMPANY", c.company);
  PutOrNull(item, u"JOBTITLE", c.jobTitle);
  PutOrNull(item, u"DEPARTMENT", c.department);
  PutOrNull(item, u"OFFICE_LOCATION", c.office);
  PutOrNull(item, u"NOTES", c.notes);
  PutOrNull(item, u"ASSISTANT", c.assistant);
  PutOrNull(item, u"ASSISTANT_TEL", c.assistantPhone);
  PutOrNull(item, u"MANAGER", c.manager);
  PutOrNull(item, u"SPOUSE", c.spouse);
  PutOrNull(item, u"CHILDREN", c.children);
  PutOrNull(item, u"RINGTON", c.ringtone);
  Put(item, u"TEL_COUNT", Variant::I4(static_cast<LONG>(std::min<size_t>(c.phones.size(), 14))));
  for (size_t i = 0; i < 14; ++i) {
    const ContactPhone* p = i < c.phones.size() ? &c.phones[i] : nullptr;
    PutAt(item, "TEL_TYPE_", i, p ? p->kind : "");
    PutAt(item, "TEL_NUM_", i, p ? p->number : "");
    PutAt(item, "TEL_DIAL_", i, p ? p->speedDial : "");
  }
  Put(item, u"EMAIL_COUNT", Variant::I4(static_cast<LONG>(std::min<size_t>(c.emails.size(), 3))));
  for (size_t i = 0; i < 3; ++i) {
    PutAt(item, "EMAIL_ADDR_", i, i < c.emails.size() ? c.emails[i] : "");
    PutAt(item, "EMAIL_TYPE_", i, i < c.emails.size() ? "private" : "");
  }
  Put(item, u"URL_COUNT", Variant::I4(c.url.empty() ? 0 : 1));
  PutOrNull(item, u"URL_ADDR_0", c.url);
  Put(item, u"MESSENGER_COUNT",
      Variant::I4(static_cast<LONG>(std::min<size_t>(c.messengers.size(), 3))));
  for (size_t i = 0; i < 3; ++i)
    PutAt(item, "MESSENGER_ID_", i, i < c.messengers.size() ? c.messengers[i] : "");
  Put(item, u"ADDR_COUNT",
      Variant::I4(static_cast<LONG>(std::min<size_t>(c.addresses.size(), 3))));
  for (size_t i = 0; i < 3; ++i) {
    const ContactAddress* a = i < c.addresses.size() ? &c.addresses[i] : nullptr;
    PutAt(item, "ADDR_TYPE_", i, a ? a->kind : "");
    PutAt(item, "ADDR_EXTADDR_", i, a ? a->street : "");
    PutAt(item, "ADDR_LOCALITY_", i, a ? a->locality : "");
    PutAt(item, "ADDR_REGION_", i, a ? a->region : "");
    PutAt(item, "ADDR_POSTALCODE_", i, a ? a->postalCode : "");
    PutAt(item, "ADDR_COUNTRY_", i, a ? a->country : "");
  }
  Put(item, u"BIRTHDAY", c.birthday ? Variant::Date(*c.birthday) : Variant::Null());
  Put(item, u"ANNIVERSARY_COUNT", Variant::I4(c.anniversary ? 1 : 0));
  Put(item, u"ANNIVERSARY_DATE_0", c.anniversary ? Variant::Date(*c.anniversary) : Variant::Null());
  for (size_t i = 0; i < 50; ++i)
    Put(item, Col("GROUP_ID_", i).c_str(),
        i < c.groupIds.size() ? Variant::I4(static_cast<LONG>(c.groupIds[i])) : Variant::Null());
  PutText(item, u"PHOTO_TYPE", c.photoPath.empty() ? "NONE" : "IMAGE_PHOTO");
  PutText(item, u"PHOTO_LOCAL_PATH", c.photoPath);
}

std::string Phonebook::GroupName(ULONG id) const {
  for (const GroupRecord& g : groups)
    if (static_cast<ULONG>(g.id) == id) return g.name;
  return {};
}

Phonebook ReadPhonebook(Session& session) {
  Phonebook book;
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  ForEachItem(table.Get(), "phonebook", [&](IItem* item, ULONG, ULONG) {
    DCADATATYPE type = DCADT_PHONEBOOK;
    CheckHr("getType", item->getType(&type));
    if (type == DCADT_GROUP) {
      book.groups.push_back(ReadGroup(item));
    } else {
      book.contacts.push_back(ReadContact(item));
    }
  });
  return book;
}

}  // namespace qwbhost
