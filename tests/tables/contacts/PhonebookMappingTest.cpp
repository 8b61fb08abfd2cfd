// The contact property <-> phonebook column mapping both ways, and the reading-name document.
// Replies are encoded as the phone sends them and decoded by the component's reader.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/FieldMap.h"
#include "link/DeviceRecordWM.h"
#include "tables/contacts/PhonebookMapping.h"
#include "tables/contacts/XmlParserWMYomigana.h"

namespace qwb {
namespace {

using devrec::Property;
using Pairs = std::vector<std::pair<std::string, std::string>>;

FieldMap Read(const std::vector<Property>& props, const PhonebookLists& lists = {},
              DWORD id = 7) {
  std::vector<uint8_t> reply = devrec::EncodeReply(0, props);
  CPropertyMap map;
  EXPECT_EQ(DecodeDeviceRecord(1, reply.data(), static_cast<DWORD>(reply.size()), &map), kDecodeOk);
  FieldMap fields;
  ContactToFields(id, map, lists, &fields);
  return fields;
}

// The properties the write appends, in order, strings as text and dates as "date:<value>".
Pairs Write(FieldMap& fields, int modelType = 1, const PhonebookLists& lists = {}) {
  CPropertyList list(1);
  FieldsToContact(fields, modelType, lists, &list);
  Pairs out;
  for (const PropertyNode* n = list.head(); n; n = n->next) {
    std::string value;
    if (devrec::LookupType(1, n->name) == devrec::kTypeDate) {
      double d = 0;
      std::memcpy(&d, n->value, 8);
      value = "date:" + std::to_string(d);
    } else {
      value.assign(reinterpret_cast<const char*>(n->value), n->valueLength - 1);
    }
    out.emplace_back(n->name, value);
  }
  return out;
}

std::u16string Str(const FieldMap& f, const char16_t* key) {
  const Variant* v = FindField(f, key);
  if (!v) return u"<missing>";
  if (v->vt() == VT_NULL) return u"<null>";
  if (v->vt() != VT_BSTR) return u"<vt>";
  return BStr(v->Get().bstrVal).Str();
}
VARTYPE Vt(const FieldMap& f, std::u16string_view key) {
  const Variant* v = FindField(f, key);
  return v ? v->vt() : VARTYPE{VT_EMPTY};
}
LONG I4(const FieldMap& f, const char16_t* key) { return ReadFieldI4(f, key, -99); }

void Put(FieldMap& f, const char16_t* key, std::u16string_view text) {
  PutField(f, key, Variant::Str(text));
}

// Telephone entries as (type, number) in TEL_TYPE_i / TEL_NUM_i, with TEL_COUNT.
FieldMap Phones(const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
  FieldMap f;
  PutField(f, u"TEL_COUNT", Variant::I4(static_cast<LONG>(entries.size())));
  for (size_t i = 0; i < entries.size(); ++i) {
    Put(f, Numbered(u"TEL_TYPE_", static_cast<int>(i)).c_str(), entries[i].first);
    Put(f, Numbered(u"TEL_NUM_", static_cast<int>(i)).c_str(), entries[i].second);
  }
  return f;
}

TEST(PhonebookRead, EmptyContactGetsItsDefaults) {
  FieldMap f = Read({});
  EXPECT_EQ(Vt(f, u"SUID"), VT_UI4);
  EXPECT_EQ(ReadFieldUI4(f, u"SUID", 0), 7u);
  for (const char16_t* key : {u"TEL_COUNT", u"EMAIL_COUNT", u"URL_COUNT", u"MESSENGER_COUNT",
                              u"ADDR_COUNT", u"ANNIVERSARY_COUNT", u"BIRTHDAY_LUNAR",
                              u"ANNIVERSARY_LUNAR_0", u"GROUP_ID_0"})
    EXPECT_EQ(I4(f, key), 0) << std::string(key, key + 3);
  for (int i = 0; i < 14; ++i)
    for (const char16_t* prefix : {u"TEL_NUM_", u"TEL_TYPE_", u"TEL_DIAL_"})
      EXPECT_EQ(Vt(f, Numbered(prefix, i)), VT_NULL) << i;
  for (const char16_t* key : {u"ANNIVERSARY_TYPE_0", u"ANNIVERSARY_DATE_0", u"RINGTON_TYPE"})
    EXPECT_EQ(Vt(f, key), VT_NULL);
  EXPECT_EQ(Vt(f, u"ADD_INFOS"), VT_EMPTY);
  EXPECT_EQ(Str(f, u"PHOTO_TYPE"), u"<missing>");  // the picture step is not the mapping's
}

TEST(PhonebookRead, TelephonesInSlotOrderWithSpeedDials) {
  PhonebookLists lists;
  lists.speedDials = {{3, 7, 0x009D001F, u"", u""},   // pager's kind code 7
                      {4, 8, 0x0096001F, u"", u""},   // another contact's mobile
                      {5, 7, 0x0096001F, u"", u""}};  // this contact's mobile
  lists.speedDialCount = 3;
  FieldMap f = Read({Property::String("PagerNumber", "012p9w"),
                     Property::String("RadioTelephoneNumber", "r-1"),
                     Property::String("MobileTelephoneNumber", "010t1")},
                    lists);
  EXPECT_EQ(I4(f, u"TEL_COUNT"), 3);
  EXPECT_EQ(Str(f, u"TEL_TYPE_0"), u"Mobile");
  EXPECT_EQ(Str(f, u"TEL_NUM_0"), u"010T1");
  EXPECT_EQ(Str(f, u"TEL_DIAL_0"), u"5");
  EXPECT_EQ(Str(f, u"TEL_TYPE_1"), u"RadioTel");
  EXPECT_EQ(Str(f, u"TEL_NUM_1"), u"R-1");
  EXPECT_EQ(Vt(f, u"TEL_DIAL_1"), VT_EMPTY);
  EXPECT_EQ(Str(f, u"TEL_TYPE_2"), u"Pager");
  EXPECT_EQ(Str(f, u"TEL_NUM_2"), u"012P9W");
  EXPECT_EQ(Str(f, u"TEL_DIAL_2"), u"3");
  // Without a speed-dial count the list is not consulted.
  lists.speedDialCount = 0;
  EXPECT_EQ(Vt(Read({Property::String("MobileTelephoneNumber", "1")}, lists), u"TEL_DIAL_0"),
            VT_EMPTY);
}

TEST(PhonebookRead, AddressesEmailsDatesAndCategories) {
  PhonebookLists lists;
  lists.categories = {{1, u"Work"}, {2, u"Family"}, {3, u"VIP"}};
  FieldMap f = Read({Property::String("OtherAddressCountry", "Korea"),
                     Property::String("BusinessAddressStreet", "1 Main St"),
                     Property::String("Email3Address", "c@x"),
                     Property::String("Email1Address", "a@x"),
                     Property::Date("Birthday", 30000.5), Property::Date("Anniversary", 31000.0),
                     Property::String("WebPage", "http://w"),
                     Property::String("IM2Address", "im2"),
                     Property::String("Categories", "Family, Golf, Work"),
                     Property::String("RingTone", "r.wav")},
                    lists);
  EXPECT_EQ(I4(f, u"ADDR_COUNT"), 2);
  EXPECT_EQ(Str(f, u"ADDR_TYPE_0"), u"business");
  EXPECT_EQ(Str(f, u"ADDR_EXTADDR_0"), u"1 Main St");
  EXPECT_EQ(Vt(f, u"ADDR_STREET_0"), VT_NULL);
  EXPECT_EQ(Vt(f, u"ADDR_LOCALITY_0"), VT_NULL);
  EXPECT_EQ(Str(f, u"ADDR_TYPE_1"), u"other");
  EXPECT_EQ(Str(f, u"ADDR_COUNTRY_1"), u"Korea");
  EXPECT_EQ(I4(f, u"EMAIL_COUNT"), 2);
  EXPECT_EQ(Str(f, u"EMAIL_ADDR_0"), u"a@x");
  EXPECT_EQ(Str(f, u"EMAIL_ADDR_1"), u"c@x");
  EXPECT_EQ(Str(f, u"EMAIL_TYPE_1"), u"private");
  EXPECT_EQ(ReadFieldDate(f, u"BIRTHDAY", 0), 30000.5);
  EXPECT_EQ(I4(f, u"ANNIVERSARY_COUNT"), 1);
  EXPECT_EQ(Str(f, u"ANNIVERSARY_TYPE_0"), u"ANNIVERSARY");
  EXPECT_EQ(ReadFieldDate(f, u"ANNIVERSARY_DATE_0", 0), 31000.0);
  EXPECT_EQ(I4(f, u"URL_COUNT"), 1);
  EXPECT_EQ(Str(f, u"URL_TYPE_0"), u"private");
  EXPECT_EQ(I4(f, u"MESSENGER_COUNT"), 1);
  EXPECT_EQ(Str(f, u"MESSENGER_ID_0"), u"im2");
  EXPECT_EQ(Vt(f, u"MESSENGER_TYPE_0"), VT_EMPTY);
  EXPECT_EQ(ReadFieldUI4(f, u"GROUP_ID_0", 0), 2u);
  EXPECT_EQ(ReadFieldUI4(f, u"GROUP_ID_1", 0), 0xFFFFFFFFu);
  EXPECT_EQ(ReadFieldUI4(f, u"GROUP_ID_2", 0), 1u);
  EXPECT_EQ(Str(f, u"RINGTON"), u"r.wav");
  EXPECT_EQ(Vt(f, u"RINGTON_TYPE"), VT_NULL);

  // Splitting: empty tokens skipped, later tokens lose their first character.
  struct Case {
    const char* categories;
    std::vector<ULONG> ids;
  } cases[] = {
      {"Work", {1}},
      {"Work,Family", {1, 0xFFFFFFFF}},  // "amily"
      {",Work,, VIP", {1, 3}},
      {"VIP, VIP", {3, 3}},
      {"work", {0xFFFFFFFF}},  // names compare exactly
  };
  for (const Case& c : cases) {
    FieldMap g = Read({Property::String("Categories", c.categories)}, lists);
    for (size_t i = 0; i < c.ids.size(); ++i)
      EXPECT_EQ(ReadFieldUI4(g, Numbered(u"GROUP_ID_", static_cast<int>(i)), 0), c.ids[i])
          << c.categories << " " << i;
    EXPECT_EQ(Vt(g, Numbered(u"GROUP_ID_", static_cast<int>(c.ids.size()))), VT_EMPTY);
  }
}

TEST(PhonebookRead, ReadingNames) {
  FieldMap f = Read({Property::String("YomiLastName", "Kim & <Lee>")});
  EXPECT_EQ(Str(f, u"ADD_INFOS"),
            u"<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Yomigana><YomiLastName>Kim & <Lee>"
            u"</YomiLastName>\r\n<YomiFirstName></YomiFirstName>\r\n</Yomigana>");
  // Without readings a value the host put there survives.
  std::vector<uint8_t> reply = devrec::EncodeReply(0, {});
  CPropertyMap map;
  DecodeDeviceRecord(1, reply.data(), static_cast<DWORD>(reply.size()), &map);
  FieldMap g;
  Put(g, u"ADD_INFOS", u"host's own");
  ContactToFields(1, map, {}, &g);
  EXPECT_EQ(Str(g, u"ADD_INFOS"), u"host's own");
}

TEST(PhonebookWrite, TelephoneSlotsInTwoPasses) {
  struct Case {
    const char* what;
    FieldMap fields;
    Pairs want;
  } cases[] = {
      {"second mobile goes home", Phones({{u"Mobile", u"1"}, {u"Mobile.Business", u"2"},
                                          {u"Fax", u"3"}, {u"fax", u"4"}}),
       {{"MobileTelephoneNumber", "1"}, {"HomeFaxNumber", "3"}, {"BusinessFaxNumber", "4"},
        {"HomeTelephoneNumber", "2"}}},
      {"unknown types fill free slots", Phones({{u"X", u"a"}, {u"RadioTel", u"b"}, {u"Y", u"c"}}),
       {{"RadioTelephoneNumber", "b"}, {"MobileTelephoneNumber", "a"}, {"HomeTelephoneNumber", "c"}}},
      {"empty numbers are skipped", Phones({{u"Mobile", u""}, {u"Pager", u"p"}}),
       {{"PagerNumber", "p"}}},
      {"a second mobile takes the home slot", Phones({{u"Mobile", u"1"}, {u"Mobile", u"2"}}),
       {{"MobileTelephoneNumber", "1"}, {"HomeTelephoneNumber", "2"}}},
      {"one entry, taken slot", Phones({{u"Landline.Private", u"1"}}),
       {{"HomeTelephoneNumber", "1"}}},
  };
  for (Case& c : cases) EXPECT_EQ(Write(c.fields), c.want) << c.what;

  // Fifteen entries: the first fourteen are looked at, eleven reach the phone.
  std::vector<std::pair<std::u16string, std::u16string>> many;
  for (int i = 0; i < 15; ++i) many.push_back({u"Z", Numbered(u"n", i)});
  FieldMap f = Phones(many);
  Pairs sent = Write(f);
  ASSERT_EQ(sent.size(), 11u);
  EXPECT_EQ(sent[0], (std::pair<std::string, std::string>{"MobileTelephoneNumber", "n0"}));
  EXPECT_EQ(sent[10], (std::pair<std::string, std::string>{"CompanyTelephoneNumber", "n10"}));
}

TEST(PhonebookWrite, NumbersFollowTheModelType) {
  const char16_t* number = u"+82-2P3w4T";
  const std::pair<int, std::string> cases[] = {
      {0, "+82-23w4t"}, {1, "+82-2p3w4t"}, {2, "+82-2p3w4t"}, {3, "+82-23w4t"},
      {4, "82-23w4t"},  {5, "+82-2p3w4t"}, {6, "+82-2p3w4t"},
  };
  for (const auto& [model, want] : cases) {
    FieldMap f = Phones({{u"Mobile", number}});
    EXPECT_EQ(Write(f, model), (Pairs{{"MobileTelephoneNumber", want}})) << model;
  }
}

TEST(PhonebookWrite, DatesAddressesCategoriesAndOrder) {
  struct DateCase {
    Variant value;
    bool sent;
  } dates[] = {
      {Variant::Date(0.0), false},  // 1899-12-30, the empty date
      {Variant::Date(1.999), false},
      {Variant::Date(2.0), true},  // 1900-01-01
      {Variant::Date(73050.99), true},  // 2099-12-31 23:45
      {Variant::Date(73051.0), false},  // 2100-01-01
      {Variant::Null(), false},
      {Variant::Str(u"soon"), false},
  };
  for (const DateCase& d : dates) {
    FieldMap f;
    PutField(f, u"BIRTHDAY", d.value);
    EXPECT_EQ(Write(f).size(), d.sent ? 1u : 0u);
  }

  PhonebookLists lists;
  lists.categories = {{1, u"Work"}, {2, u"Family"}};
  FieldMap f;
  Put(f, u"TITLE_NAME", u"Dr.");
  Put(f, u"FIRST_NAME", u"Ann");
  Put(f, u"LAST_NAME", u"Lee");
  Put(f, u"DISPLAY_NAME", u"Lee, Ann");
  Put(f, u"ADD_INFOS", u"<Yomigana><YomiFirstName>an</YomiFirstName>"
                       u"<YomiLastName>ri</YomiLastName></Yomigana>");
  Put(f, u"COMPANY", u"Aster");
  PutField(f, u"EMAIL_COUNT", Variant::I4(2));
  Put(f, u"EMAIL_ADDR_0", u"a@x");
  Put(f, u"EMAIL_ADDR_1", u"b@x");
  Put(f, u"EMAIL_ADDR_2", u"not counted");
  PutField(f, u"URL_COUNT", Variant::I4(2));
  Put(f, u"URL_ADDR_0", u"http://a");
  Put(f, u"URL_ADDR_1", u"http://b");
  PutField(f, u"ADDR_COUNT", Variant::I4(3));
  Put(f, u"ADDR_TYPE_0", u"private");
  Put(f, u"ADDR_EXTADDR_0", u"1 Road");
  Put(f, u"ADDR_STREET_0", u"never sent");
  Put(f, u"ADDR_POSTALCODE_0", u"123");
  Put(f, u"ADDR_COUNTRY_0", u"KR");
  Put(f, u"ADDR_TYPE_1", u"private");  // a second private address is dropped
  Put(f, u"ADDR_LOCALITY_1", u"Busan");
  Put(f, u"ADDR_TYPE_2", u"Other");  // types compare exactly
  Put(f, u"ADDR_LOCALITY_2", u"Jeju");
  PutField(f, u"GROUP_ID_0", Variant::I4(9));  // unknown id
  PutField(f, u"GROUP_ID_1", Variant::I4(2));
  Put(f, u"GROUP_ID_2", u"1");
  Put(f, u"NOTES", u"n");
  Put(f, u"SPOUSE", u"s");
  EXPECT_EQ(Write(f, 1, lists),
            (Pairs{{"Title", "Dr."}, {"FirstName", "Ann"}, {"LastName", "Lee"},
                   {"FileAs", "Lee, Ann"}, {"YomiFirstName", "an"}, {"YomiLastName", "ri"},
                   {"CompanyName", "Aster"}, {"Email1Address", "a@x"}, {"Email2Address", "b@x"},
                   {"WebPage", "http://a"}, {"HomeAddressStreet", "1 Road"},
                   {"HomeAddressCountry", "KR"}, {"HomeAddressPostalCode", "123"},
                   {"Body", "n"}, {"Categories", "Family, Work"}, {"Spouse", "s"}}));
  EXPECT_EQ(I4(f, u"TEL_COUNT"), 0);  // written back as an integer
}

TEST(ReadingNames, DocumentBothWays) {
  EXPECT_EQ(BuildYomiganaDocument(u"", u"Mina"),
            u"<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Yomigana><YomiLastName>"
            u"</YomiLastName>\r\n<YomiFirstName>Mina</YomiFirstName>\r\n</Yomigana>");
  struct Case {
    const char* what;
    std::u16string text;
    std::u16string last, first;
  } cases[] = {
      {"as built", BuildYomiganaDocument(u"\uAE40", u"\uBBFC\uC900"), u"\uAE40", u"\uBBFC\uC900"},
      {"other order", u"<Yomigana><YomiFirstName>f</YomiFirstName><YomiLastName>l</YomiLastName>"
                      u"</Yomigana>", u"l", u"f"},
      {"nested under another root", u"<a><b><YomiLastName>l</YomiLastName></b></a>", u"l", u""},
      {"last one wins", u"<Y><YomiLastName>1</YomiLastName><YomiLastName>2</YomiLastName></Y>",
       u"2", u""},
      {"unescaped as built", BuildYomiganaDocument(u"O & B", u"<x>"), u"O & B", u"<x>"},
      {"tags compare exactly", u"<Y><yomilastname>l</yomilastname></Y>", u"", u""},
      {"not XML at all", u"just text", u"", u""},
  };
  for (const Case& c : cases) {
    std::u16string last = u"?", first = u"?";
    ParseYomiganaDocument(c.text, &last, &first);
    EXPECT_EQ(last, c.last) << c.what;
    EXPECT_EQ(first, c.first) << c.what;
  }
}

}  // namespace
}  // namespace qwb
