#include <gtest/gtest.h>

#include <cstring>

#include "TestBytes.h"
#include "core/Errors.h"
#include "link/DeviceRecordWM.h"

namespace qwb {
namespace {

using devrec::Property;
using linktest::Cat;
using linktest::U32;
using linktest::Z;

// Builds the record and hands it back as bytes.
std::vector<uint8_t> Build(const CPropertyList& list, int mode, DWORD id) {
  DWORD size = 0;
  LocalBuffer rec = BuildDeviceRecord(list, mode, id, &size);
  return std::vector<uint8_t>(rec.get(), rec.get() + size);
}

TEST(PropertyList, BuildsRecordsByteForByte) {
  // Empty lists: the header alone.
  CPropertyList none(devrec::kKindAppointment);
  EXPECT_EQ(Build(none, devrec::kModeAdd, 7), Cat({U32(2), U32(0)}));
  EXPECT_EQ(Build(none, devrec::kModeReplace, 7), Cat({U32(2), U32(7), U32(0)}));

  // Text goes as UTF-8 (U+1F600, a surrogate pair, is 4 bytes; with its NUL 5, padded to
  // 8). A name the kind does not know, and a binary name, travel as names without a value
  // and are not counted; the nodes stay in list order.
  CPropertyList odd(devrec::kKindContact);
  odd.AddString("FirstName", u"\U0001F600");
  odd.Add("NoSuchName", "ignored");
  odd.Add("Picture", "ignored");
  double when = 40000.5;
  odd.AddDate("Birthday", when);
  EXPECT_EQ(odd.count(), 2u);
  std::vector<uint8_t> date(8);
  std::memcpy(date.data(), &when, 8);
  EXPECT_EQ(Build(odd, devrec::kModeReplace, 0x12),
            Cat({U32(1), U32(0x12), U32(2), U32(10), Z("FirstName", 12), U32(5),
                 Z("\xF0\x9F\x98\x80", 8), U32(11), Z("NoSuchName", 12), U32(0), U32(8),
                 Z("Picture", 8), U32(0), U32(9), Z("Birthday", 12), U32(8), date}));

  // The typed forms refuse a name of another type; nothing is appended.
  CPropertyList typed(devrec::kKindTask);
  EXPECT_THROW(typed.AddInteger("Subject", 1), CAtlException);
  EXPECT_THROW(typed.AddString("Importance", u"1"), CAtlException);
  EXPECT_EQ(typed.head(), nullptr);
}

TEST(PropertyMap, GeneralDecoder) {
  CPropertyMap map;
  // A reply of exactly 4 bytes: success, no properties; 0 bytes: an empty reply.
  auto four = U32(0x33);
  EXPECT_EQ(DecodeDeviceRecord(3, four.data(), 4, &map), kDecodeOk);
  EXPECT_TRUE(map.empty());
  EXPECT_EQ(DecodeDeviceRecord(3, nullptr, 0, &map), kDecodeEmpty);

  // (Text, dates and binaries decode through the emulator's echo in the device link's tests.)
  auto reply =
      devrec::EncodeReply(5, {Property::String("FirstName", "\xED\x95\x9C\xF0\x9F\x98\x80"),
                              Property::Integer("Mystery", 9), Property::String("Body", "bad\xC0"),
                              Property::String("Nickname", "")});
  ASSERT_EQ(DecodeDeviceRecord(1, reply.data(), DWORD(reply.size()), &map), kDecodeOk);
  ASSERT_EQ(map.size(), 4u);
  EXPECT_EQ(map.Find(u"FirstName")->valueLength, 3u);  // UTF-16 units
  // A name the kind does not know is kept, with its length but without a value.
  const DeviceProperty* p = map.Find(u"Mystery");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->type, 0u);
  EXPECT_FALSE(p->hasValue);
  EXPECT_EQ(p->valueLength, 4u);
  // Text that is not UTF-8 (a cut sequence) reads as an empty string; "" reads as "".
  for (const char16_t* name : {u"Body", u"Nickname"}) {
    std::u16string text(u"x");
    EXPECT_TRUE(map.GetString(name, &text));
    EXPECT_EQ(text, u"");
  }

  // A second decode into the same map replaces same-named properties, keeps the rest.
  auto again = devrec::EncodeReply(0, {Property::String("FirstName", "B")});
  ASSERT_EQ(DecodeDeviceRecord(1, again.data(), DWORD(again.size()), &map), kDecodeOk);
  EXPECT_EQ(map.size(), 4u);
  std::u16string s;
  EXPECT_TRUE(map.GetString(u"FirstName", &s));
  EXPECT_EQ(s, u"B");
  // A malformed reply adds nothing, not even the properties before the fault.
  auto bad = Cat(
      {devrec::EncodeReply(0, {Property::String("Department", "x")}), U32(60), Z("toolong")});
  EXPECT_EQ(DecodeDeviceRecord(1, bad.data(), DWORD(bad.size()), &map), kDecodeMalformed);
  EXPECT_FALSE(map.Has(u"Department"));
}

TEST(PropertyMap, AnUnreadableNameOrValueCostsThatPropertyOnly) {
  // A name that is not UTF-8 (a cut two-byte sequence) is passed over; a date of four bytes
  // is kept without a value and reads as missing.
  auto reply = Cat({U32(0), U32(4), {'a', 0xC3, 0, 0}, U32(1), Z("", 4),  // the bad name
                    U32(6), Z("Start", 8), U32(4), U32(1),                // a short date
                    U32(8), Z("Subject", 8), U32(2), Z("s", 4)});
  CPropertyMap map;
  ASSERT_EQ(DecodeDeviceRecord(2, reply.data(), DWORD(reply.size()), &map), kDecodeOk);
  EXPECT_EQ(map.size(), 2u);
  double start = 0;
  EXPECT_TRUE(map.Has(u"Start"));
  EXPECT_FALSE(map.GetDate(u"Start", &start));
  std::u16string subject;
  EXPECT_TRUE(map.GetString(u"Subject", &subject));
  EXPECT_EQ(subject, u"s");
}

TEST(PropertyMap, TaskDecoder) {
  auto reply = devrec::EncodeReply(
      0x12,
      {Property::String("Subject", "s"), Property::Integer("Importance", 1),
       Property::Boolean("Complete", 0xFFFF), Property::Date("StartDate", 949998.0),
       Property::String("Location", "not a task property"), Property::Binary("Picture", {1})});
  CPropertyMap map;
  DWORD size = DWORD(reply.size());
  EXPECT_EQ(DecodeTaskRecord(3, reply.data(), 0, &map), kDecodeEmpty);
  // Contacts and appointments: success without decoding; other kinds: 1.
  EXPECT_EQ(DecodeTaskRecord(1, reply.data(), size, &map), kDecodeOk);
  EXPECT_EQ(DecodeTaskRecord(2, reply.data(), size, &map), kDecodeOk);
  for (DWORD kind : {0u, 4u, 8u})
    EXPECT_EQ(DecodeTaskRecord(kind, reply.data(), size, &map), kDecodeWrongKind) << kind;
  EXPECT_TRUE(map.empty());

  // (The values a task decodes to are driven end to end through the component.)
  ASSERT_EQ(DecodeTaskRecord(3, reply.data(), size, &map), kDecodeOk);
  EXPECT_EQ(map.size(), 6u);
  int16_t complete = 0;
  EXPECT_TRUE(map.GetBoolean(u"Complete", &complete));
  EXPECT_EQ(static_cast<uint16_t>(complete), 0xFFFF);
  // Not a task name: type 0, name and length kept but not the bytes (the general decoder
  // copies a contact's picture, above).
  EXPECT_FALSE(map.Find(u"Picture")->hasValue);
  EXPECT_EQ(map.Find(u"Picture")->valueLength, 1u);
}

}  // namespace
}  // namespace qwb
