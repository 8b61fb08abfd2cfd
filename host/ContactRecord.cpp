#include "host/ContactRecord.h"

#include <algorithm>

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

// The contact's single text columns (the reading names, in one document, aside).
const TextField<ContactRecord> kTextFields[] = {
    {u"DISPLAY_NAME", &ContactRecord::displayName},
    {u"FIRST_NAME", &ContactRecord::first},
    {u"LAST_NAME", &ContactRecord::last},
    {u"MIDDLE_NAME", &ContactRecord::middle},
    {u"NICK_NAME", &ContactRecord::nick},
    {u"TITLE_NAME", &ContactRecord::prefix},
    {u"SUFFIX_NAME", &ContactRecord::suffix},
    {u"COMPANY", &ContactRecord::company},
    {u"JOBTITLE", &ContactRecord::jobTitle},
    {u"DEPARTMENT", &ContactRecord::department},
    {u"OFFICE_LOCATION", &ContactRecord::office},
    {u"NOTES", &ContactRecord::notes},
    {u"ASSISTANT", &ContactRecord::assistant},
    {u"ASSISTANT_TEL", &ContactRecord::assistantPhone},
    {u"MANAGER", &ContactRecord::manager},
    {u"SPOUSE", &ContactRecord::spouse},
    {u"CHILDREN", &ContactRecord::children},
    {u"RINGTON", &ContactRecord::ringtone},
};
constexpr size_t kMaxPhones = 14, kMaxEmails = 3, kMaxMessengers = 3, kMaxAddresses = 3,
                 kMaxGroups = 50;

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
  ReadTextFields(item, c, kTextFields);
  ParseReadingDocument(Text(item, u"ADD_INFOS"), &c.readingLast, &c.readingFirst);
  for (size_t i = 0, n = CountOf(item, u"TEL_COUNT", kMaxPhones); i < n; ++i)
    c.phones.push_back({TextAt(item, "TEL_TYPE_", i), TextAt(item, "TEL_NUM_", i),
                        TextAt(item, "TEL_DIAL_", i)});
  for (size_t i = 0, n = CountOf(item, u"EMAIL_COUNT", kMaxEmails); i < n; ++i)
    c.emails.push_back(TextAt(item, "EMAIL_ADDR_", i));
  if (CountOf(item, u"URL_COUNT", 1) > 0) c.url = Text(item, u"URL_ADDR_0");
  for (size_t i = 0, n = CountOf(item, u"MESSENGER_COUNT", kMaxMessengers); i < n; ++i)
    c.messengers.push_back(TextAt(item, "MESSENGER_ID_", i));
  for (size_t i = 0, n = CountOf(item, u"ADDR_COUNT", kMaxAddresses); i < n; ++i)
    c.addresses.push_back({TextAt(item, "ADDR_TYPE_", i), TextAt(item, "ADDR_EXTADDR_", i),
                           TextAt(item, "ADDR_LOCALITY_", i), TextAt(item, "ADDR_REGION_", i),
                           TextAt(item, "ADDR_POSTALCODE_", i), TextAt(item, "ADDR_COUNTRY_", i)});
  c.birthday = Date(item, u"BIRTHDAY");
  if (CountOf(item, u"ANNIVERSARY_COUNT", 1) > 0)
    c.anniversary = Date(item, u"ANNIVERSARY_DATE_0");
  for (size_t i = 0; i < kMaxGroups; ++i) {
    Variant v = Value(item, IndexedColumn("GROUP_ID_", i).c_str());
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
  PutTextFields(item, c, kTextFields);
  PutTextOrNull(item, u"ADD_INFOS", c.readingFirst.empty() && c.readingLast.empty()
                                        ? std::string()
                                        : ReadingDocument(c.readingLast, c.readingFirst));
  auto count = [&](const char16_t* column, size_t n, size_t most) {
    Put(item, column, Variant::I4(static_cast<LONG>(std::min(n, most))));
  };
  count(u"TEL_COUNT", c.phones.size(), kMaxPhones);
  for (size_t i = 0; i < kMaxPhones; ++i) {
    const ContactPhone* p = i < c.phones.size() ? &c.phones[i] : nullptr;
    PutTextOrNullAt(item, "TEL_TYPE_", i, p ? p->kind : "");
    PutTextOrNullAt(item, "TEL_NUM_", i, p ? p->number : "");
    PutTextOrNullAt(item, "TEL_DIAL_", i, p ? p->speedDial : "");
  }
  count(u"EMAIL_COUNT", c.emails.size(), kMaxEmails);
  for (size_t i = 0; i < kMaxEmails; ++i) {
    PutTextOrNullAt(item, "EMAIL_ADDR_", i, i < c.emails.size() ? c.emails[i] : "");
    PutTextOrNullAt(item, "EMAIL_TYPE_", i, i < c.emails.size() ? "private" : "");
  }
  count(u"URL_COUNT", c.url.empty() ? 0 : 1, 1);
  PutTextOrNull(item, u"URL_ADDR_0", c.url);
  count(u"MESSENGER_COUNT", c.messengers.size(), kMaxMessengers);
  for (size_t i = 0; i < kMaxMessengers; ++i)
    PutTextOrNullAt(item, "MESSENGER_ID_", i, i < c.messengers.size() ? c.messengers[i] : "");
  count(u"ADDR_COUNT", c.addresses.size(), kMaxAddresses);
  for (size_t i = 0; i < kMaxAddresses; ++i) {
    const ContactAddress* a = i < c.addresses.size() ? &c.addresses[i] : nullptr;
    PutTextOrNullAt(item, "ADDR_TYPE_", i, a ? a->kind : "");
    PutTextOrNullAt(item, "ADDR_EXTADDR_", i, a ? a->street : "");
    PutTextOrNullAt(item, "ADDR_LOCALITY_", i, a ? a->locality : "");
    PutTextOrNullAt(item, "ADDR_REGION_", i, a ? a->region : "");
    PutTextOrNullAt(item, "ADDR_POSTALCODE_", i, a ? a->postalCode : "");
    PutTextOrNullAt(item, "ADDR_COUNTRY_", i, a ? a->country : "");
  }
  Put(item, u"BIRTHDAY", c.birthday ? Variant::Date(*c.birthday) : Variant::Null());
  Put(item, u"ANNIVERSARY_COUNT", Variant::I4(c.anniversary ? 1 : 0));
  Put(item, u"ANNIVERSARY_DATE_0", c.anniversary ? Variant::Date(*c.anniversary) : Variant::Null());
  for (size_t i = 0; i < kMaxGroups; ++i)
    Put(item, IndexedColumn("GROUP_ID_", i).c_str(),
        i < c.groupIds.size() ? Variant::I4(static_cast<LONG>(c.groupIds[i])) : Variant::Null());
  PutText(item, u"PHOTO_TYPE", c.photoPath.empty() ? "NONE" : "IMAGE_PHOTO");
  PutText(item, u"PHOTO_LOCAL_PATH", c.photoPath);
}

std::string Phonebook::GroupName(ULONG id) const {
  for (const GroupRecord& g : groups)
    if (static_cast<ULONG>(g.id) == id) return g.name;
  return {};
}

Phonebook ForEachContact(
    Session& session,
    const std::function<void(const ContactRecord&, const Phonebook&, ULONG, ULONG)>& onContact) {
  Phonebook book;
  ComPtr<IDataTable> table = session.Table(DTID_PHONEBOOK);
  ForEachItem(table.Get(), "phonebook", [&](IItem* item, ULONG n, ULONG total) {
    DCADATATYPE type = DCADT_PHONEBOOK;
    CheckHr("getType", item->getType(&type));
    if (type == DCADT_GROUP)
      book.groups.push_back(ReadGroup(item));
    else
      onContact(ReadContact(item), book, n, total);
  });
  return book;
}

Phonebook ReadPhonebook(Session& session) {
  std::vector<ContactRecord> contacts;
  Phonebook book = ForEachContact(session, [&](const ContactRecord& c, const Phonebook&, ULONG, ULONG) {
    contacts.push_back(c);
  });
  book.contacts = std::move(contacts);
  return book;
}

}  // namespace qwbhost
