#include <gtest/gtest.h>

#include <cstring>

#include "TestBytes.h"
#include "core/Errors.h"
#include "link/DeviceRecordWM.h"

namespace qwb {
namespace {

using linktest::Bytes;
using linktest::Cat;
using linktest::U32;

// Builds the record and hands it back as bytes, freeing the LocalAlloc'd buffer.
std::vector<uint8_t> Build(const CPropertyList& list, int mode, DWORD id) {
  DWORD size = 0;
  BYTE* rec = BuildDeviceRecord(list, mode, id, &size);
  std::vector<uint8_t> out(rec, rec + size);
  LocalFree(rec);
  return out;
}

TEST(Utf8, ConversionsAndFailures) {
  // U+D55C U+AE00 (3 bytes each), U+1F600 (a surrogate pair, 4 bytes), ASCII.
  const char16_t wide[] = u"\uD55C\uAE00 \U0001F600a";
  auto utf8 = WideToUtf8(wide);
  ASSERT_NE(utf8, nullptr);
  EXPECT_STREQ(utf8.get(),
               "\xED\x95\x9C\xEA\xB8\x80 \xF0\x9F\x98\x80"
               "a");
  auto back = Utf8ToWide(utf8.get());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::u16string(back.get()), std::u16string(wide));

  auto empty = WideToUtf8(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  EXPECT_EQ(WideToUtf8(nullptr), nullptr);
  EXPECT_EQ(Utf8ToWide(nullptr), nullptr);
  // Invalid UTF-8: a lone continuation byte, a truncated sequence, an overlong form.
  EXPECT_EQ(Utf8ToWide("a\x80z"), nullptr);
  EXPECT_EQ(Utf8ToWide("\xED\x95"), nullptr);
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), nullptr);
}

TEST(PropertyList, AddingAndBuildingRecords) {
  CPropertyList list(devrec::kKindTask);
  list.AddString("Subject", u"abc");
  ASSERT_EQ(list.count(), 1u);
  EXPECT_EQ(Build(list, devrec::kModeAdd, 0),
            Cat({U32(3), U32(1), U32(8), Bytes(std::string_view("Subject\0", 8)), U32(4),
                 Bytes(std::string_view("abc\0", 4))}));

  // A 5-byte UTF-8 value (4 bytes of text and the NUL) gets 3 pad bytes.
  CPropertyList five(devrec::kKindTask);
  five.AddString("Body", u"ab\u00E9");
  EXPECT_EQ(Build(five, devrec::kModeAdd, 0),
            Cat({U32(3), U32(1), U32(5), Bytes(std::string_view("Body\0\0\0\0", 8)), U32(5),
                 Bytes(std::string_view("ab\xC3\xA9\0\0\0\0", 8))}));

  // Mode 1 for entry id 0x12 with two properties.
  CPropertyList two(devrec::kKindTask);
  two.AddInteger("Importance", 3);
  two.AddBoolean("Complete", 1);
  auto rec = Build(two, devrec::kModeReplace, 0x12);
  EXPECT_EQ(std::vector<uint8_t>(rec.begin(), rec.begin() + 12), Cat({U32(3), U32(0x12), U32(2)}));
  EXPECT_EQ(rec.size(), 12u + 24 + 24);  // names of 11 and 9 bytes, values of 4 and 2

  // Empty lists: the header alone.
  CPropertyList none(devrec::kKindAppointment);
  EXPECT_EQ(Build(none, devrec::kModeAdd, 7), Cat({U32(2), U32(0)}));
  EXPECT_EQ(Build(none, devrec::kModeReplace, 7), Cat({U32(2), U32(7), U32(0)}));

  // A name the kind does not know, and a binary name, travel as names without a value and
  // are not counted; the nodes stay in list order.
  CPropertyList odd(devrec::kKindContact);
  odd.AddString("FirstName", u"A");
  odd.Add("NoSuchName", "ignored");
  odd.Add("Picture", "ignored");
  double when = 40000.5;
  odd.AddDate("Birthday", when);
  EXPECT_EQ(odd.count(), 2u);
  rec = Build(odd, devrec::kModeAdd, 0);
  EXPECT_EQ(rec, Cat({U32(1), U32(2), U32(10), Bytes(std::string_view("FirstName\0\0\0", 12)),
                      U32(2), Bytes(std::string_view("A\0\0\0", 4)), U32(11),
                      Bytes(std::string_view("NoSuchName\0\0", 12)), U32(0), U32(8),
                      Bytes(std::string_view("Picture\0", 8)), U32(0), U32(9),
                      Bytes(std::string_view("Birthday\0\0\0\0", 12)), U32(8), [&] {
                        std::vector<uint8_t> d(8);
                        std::memcpy(d.data(), &when, 8);
                        return d;
                      }()}));

  // The typed forms refuse a name of another type; nothing is appended.
  CPropertyList typed(devrec::kKindTask);
  EXPECT_THROW(typed.AddInteger("Subject", 1), CAtlException);
  EXPECT_THROW(typed.AddString("Importance", u"1"), CAtlException);
  EXPECT_EQ(typed.head(), nullptr);
  typed.AddDate("StartDate", 949998.0);
  typed.Clear();
  EXPECT_EQ(typed.head(), nullptr);
  EXPECT_EQ(typed.count(), 0u);
}

TEST(PropertyMap, GeneralDecoder) {
  CPropertyMap map;
  // A reply of exactly 4 bytes: success, no properties; 0 bytes: an empty reply.
  auto four = U32(0x33);
  EXPECT_EQ(DecodeDeviceRecord(3, four.data(), 4, &map), kDecodeOk);
  EXPECT_TRUE(map.empty());
  EXPECT_EQ(DecodeDeviceRecord(3, nullptr, 0, &map), kDecodeEmpty);

  std::vector<uint8_t> picture = {0xFF, 0xD8, 0xFF, 0xE0, 0x00};
  auto reply = devrec::EncodeReply(
      5, {devrec::Property::String("FirstName", "\xED\x95\x9C\xEA\xB8\x80"),
          devrec::Property::Date("Birthday", 29221.0), devrec::Property::Binary("Picture", picture),
          devrec::Property::Integer("Mystery", 9), devrec::Property::String("Body", "bad\xC0"),
          devrec::Property::String("Nickname", "")});
  ASSERT_EQ(DecodeDeviceRecord(1, reply.data(), DWORD(reply.size()), &map), kDecodeOk);
  ASSERT_EQ(map.size(), 6u);

  const DeviceProperty* p = map.Find(u"FirstName");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->type, 1u);
  EXPECT_EQ(p->nameLength, 9u);
  EXPECT_EQ(std::u16string(p->name), u"FirstName");
  EXPECT_EQ(p->valueLength, 2u);  // characters
  EXPECT_EQ(std::u16string(p->bstrVal), u"\uD55C\uAE00");
  std::u16string s;
  EXPECT_TRUE(map.GetString(u"FirstName", &s));
  EXPECT_EQ(s, u"\uD55C\uAE00");

  double d = 0;
  EXPECT_TRUE(map.GetDate(u"Birthday", &d));
  EXPECT_EQ(d, 29221.0);
  EXPECT_EQ(map.Find(u"Birthday")->valueLength, 8u);

  p = map.Find(u"Picture");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->type, 5u);
  EXPECT_EQ(p->valueLength, 5u);
  ASSERT_TRUE(p->hasValue);
  EXPECT_EQ(std::vector<uint8_t>(p->binaryVal, p->binaryVal + 5), picture);

  // A name the kind does not know is kept, without a value.
  p = map.Find(u"Mystery");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->type, 0u);
  EXPECT_FALSE(p->hasValue);
  EXPECT_EQ(p->valueLength, 4u);
  int32_t i = 0;
  EXPECT_FALSE(map.GetInteger(u"Mystery", &i));

  // Text that is not UTF-8 reads as an empty string; "" reads as "".
  EXPECT_TRUE(map.GetString(u"Body", &s));
  EXPECT_EQ(s, u"");
  EXPECT_TRUE(map.GetString(u"Nickname", &s));
  EXPECT_EQ(s, u"");
  EXPECT_FALSE(map.GetString(u"Birthday", &s));  // a date is not a string
  EXPECT_FALSE(map.Has(u"firstname"));

  // A second decode into the same map replaces same-named properties, keeps the rest.
  auto again = devrec::EncodeReply(0, {devrec::Property::String("FirstName", "B")});
  ASSERT_EQ(DecodeDeviceRecord(1, again.data(), DWORD(again.size()), &map), kDecodeOk);
  EXPECT_EQ(map.size(), 6u);
  EXPECT_TRUE(map.GetString(u"FirstName", &s));
  EXPECT_EQ(s, u"B");

  // A malformed reply adds nothing, not even the properties before the fault.
  auto bad = Cat({devrec::EncodeReply(0, {devrec::Property::String("Department", "x")}), U32(60),
                  Bytes("toolong")});
  EXPECT_EQ(DecodeDeviceRecord(1, bad.data(), DWORD(bad.size()), &map), kDecodeMalformed);
  EXPECT_FALSE(map.Has(u"Department"));
  map.Clear();
  EXPECT_TRUE(map.empty());
}

TEST(PropertyMap, TaskDecoder) {
  auto reply = devrec::EncodeReply(
      0x12,
      {devrec::Property::String("Subject", "s"), devrec::Property::Integer("Importance", 1),
       devrec::Property::Boolean("Complete", 0xFFFF), devrec::Property::Date("StartDate", 949998.0),
       devrec::Property::String("Location", "not a task property")});
  CPropertyMap map;
  DWORD size = DWORD(reply.size());
  EXPECT_EQ(DecodeTaskRecord(3, reply.data(), 0, &map), kDecodeEmpty);
  EXPECT_EQ(DecodeTaskRecord(1, nullptr, 0, &map), kDecodeEmpty);
  // Contacts and appointments: success without decoding; other kinds: 1.
  EXPECT_EQ(DecodeTaskRecord(1, reply.data(), size, &map), kDecodeOk);
  EXPECT_EQ(DecodeTaskRecord(2, reply.data(), size, &map), kDecodeOk);
  EXPECT_TRUE(map.empty());
  for (DWORD kind : {0u, 4u, 5u, 6u, 7u, 8u})
    EXPECT_EQ(DecodeTaskRecord(kind, reply.data(), size, &map), kDecodeWrongKind) << kind;
  EXPECT_TRUE(map.empty());

  ASSERT_EQ(DecodeTaskRecord(3, reply.data(), size, &map), kDecodeOk);
  EXPECT_EQ(map.size(), 5u);
  int32_t importance = 0;
  int16_t complete = 0;
  double start = 0;
  EXPECT_TRUE(map.GetInteger(u"Importance", &importance));
  EXPECT_EQ(importance, 1);
  EXPECT_TRUE(map.GetBoolean(u"Complete", &complete));
  EXPECT_EQ(static_cast<uint16_t>(complete), 0xFFFF);
  EXPECT_TRUE(map.GetDate(u"StartDate", &start));
  EXPECT_EQ(start, 949998.0);
  EXPECT_EQ(map.Find(u"Location")->type, 0u);

  // The task decoder keeps a binary's name and length but not its bytes; the general
  // decoder of the same bytes as a contact record copies them.
  auto withPicture = devrec::EncodeReply(0, {devrec::Property::Binary("Picture", {1, 2, 3})});
  CPropertyMap general;
  ASSERT_EQ(DecodeDeviceRecord(1, withPicture.data(), DWORD(withPicture.size()), &general),
            kDecodeOk);
  EXPECT_TRUE(general.Find(u"Picture")->hasValue);
  CPropertyMap task;
  ASSERT_EQ(DecodeTaskRecord(3, withPicture.data(), DWORD(withPicture.size()), &task), kDecodeOk);
  EXPECT_FALSE(task.Find(u"Picture")->hasValue);  // not a task name: type 0
}

}  // namespace
}  // namespace qwb
