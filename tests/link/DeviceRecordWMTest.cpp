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
  EXPECT_FALSE(p->hasValue());
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
  EXPECT_FALSE(map.Find(u"Picture")->hasValue());
  EXPECT_EQ(map.Find(u"Picture")->valueLength, 1u);
}

TEST(PropertyMap, AClearedMapReadsTheNextRecordAlone) {
  // A table reads record after record into one map: nothing of the record before may show
  // through, whatever the next one holds in the entries it reuses.
  CPropertyMap map;
  auto first = devrec::EncodeReply(
      0, {Property::String("Subject", "a long first subject, past any small buffer"),
          Property::Integer("Importance", 2), Property::Date("DueDate", 46000.5),
          Property::String("Body", "\xED\x95\x9C\xEA\xB8\x80 body")});
  ASSERT_EQ(DecodeDeviceRecord(3, first.data(), DWORD(first.size()), &map), kDecodeOk);
  std::u16string text;
  ASSERT_TRUE(map.GetString(u"Body", &text));
  EXPECT_EQ(text, u"\uD55C\uAE00 body");

  map.Clear();
  EXPECT_TRUE(map.empty());
  EXPECT_FALSE(map.Has(u"Subject"));
  // Fewer properties, in another order: a short integer, text where a date was, a repeat.
  auto one = [](const Property& p) {  // one property's bytes, without the leading word
    auto r = devrec::EncodeReply(0, {p});
    return std::vector<uint8_t>(r.begin() + 4, r.end());
  };
  auto second = Cat({U32(0), one(Property::String("Body", "b")),
                     one(Property::Date("StartDate", 46001.0)), U32(11), Z("Importance", 12),
                     U32(2), Z("\x01", 4), one(Property::String("Body", "c"))});
  ASSERT_EQ(DecodeDeviceRecord(3, second.data(), DWORD(second.size()), &map), kDecodeOk);
  EXPECT_EQ(map.size(), 3u);
  EXPECT_FALSE(map.Has(u"Subject"));
  EXPECT_FALSE(map.Has(u"DueDate"));
  int32_t importance = 0;
  EXPECT_TRUE(map.Has(u"Importance"));
  EXPECT_FALSE(map.GetInteger(u"Importance", &importance));
  ASSERT_TRUE(map.GetString(u"Body", &text));
  EXPECT_EQ(text, u"c");  // the later of two same-named properties
  EXPECT_EQ(map.Find(u"Body")->valueLength, 1u);
  double start = 0;
  ASSERT_TRUE(map.GetDate(u"StartDate", &start));
  EXPECT_EQ(start, 46001.0);
  // A reply whose lengths do not hold together adds nothing to a cleared map either.
  map.Clear();
  auto bad = Cat({first, U32(60), Z("x")});
  EXPECT_EQ(DecodeDeviceRecord(3, bad.data(), DWORD(bad.size()), &map), kDecodeMalformed);
  EXPECT_TRUE(map.empty());
}

TEST(PropertyMap, RecordsReadInARowTakeBackEntriesOnlyWhereTheNamesMatch) {
  // Each step decodes into the cleared map and must read exactly as a fresh map would,
  // whatever the records before it left in the entries kept for reuse.
  auto reply = [](std::vector<Property> props) { return devrec::EncodeReply(0, props); };
  const auto a = Property::Integer("Importance", 1);
  const auto b = Property::String("Subject", "b");
  const auto b2 = Property::String("Subject", "second");
  const auto d = Property::Date("DueDate", 46000.0);
  struct Step {
    DWORD kind;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Step> steps = {
      {3, reply({a, b, d})},
      {3, reply({a, b, d})},   // the same shape: every entry taken back
      {3, reply({b})},         // Subject now at entry 0, while entry 1 kept it before
      {3, reply({b, b2, d})},  // so a repeat must not take entry 1 back
      {3, reply({b, a})},      // swapped: entry 0 now holds Subject
      {3, reply({b})},         // entry 1 still holds Importance, behind a shorter record
      {3, reply({b, b2, d})},  // a repeat where Subject was kept at entry 1 once
      {3, reply({b, b2, d})},
      {2, reply({a, b, d})},   // another kind, whose table types these names otherwise
      {1, reply({a, b, d})},   // contacts know none of the three
      {3, reply({a, b, d})},
  };
  CPropertyMap reused;
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    CPropertyMap fresh;
    reused.Clear();
    const DWORD size = DWORD(step.bytes.size());
    ASSERT_EQ(DecodeDeviceRecord(step.kind, step.bytes.data(), size, &fresh), kDecodeOk);
    ASSERT_EQ(DecodeDeviceRecord(step.kind, step.bytes.data(), size, &reused), kDecodeOk);
    ASSERT_EQ(reused.size(), fresh.size()) << "step " << i;
    for (const char16_t* name : {u"Importance", u"Subject", u"DueDate"}) {
      const DeviceProperty* want = fresh.Find(name);
      const DeviceProperty* got = reused.Find(name);
      ASSERT_EQ(got == nullptr, want == nullptr) << "step " << i;
      if (!want) continue;
      EXPECT_EQ(got->type, want->type) << "step " << i;
      EXPECT_EQ(got->valueLength, want->valueLength) << "step " << i;
      EXPECT_EQ(got->value, want->value) << "step " << i;
    }
  }
  // The same bytes typed after a contact read: a task's Subject is text again.
  reused.Clear();
  ASSERT_EQ(DecodeDeviceRecord(1, steps[0].bytes.data(), DWORD(steps[0].bytes.size()), &reused),
            kDecodeOk);
  EXPECT_EQ(reused.Find(u"Subject")->type, 0u);
  reused.Clear();
  ASSERT_EQ(DecodeDeviceRecord(3, steps[0].bytes.data(), DWORD(steps[0].bytes.size()), &reused),
            kDecodeOk);
  EXPECT_EQ(reused.Find(u"Subject")->type, 1u);
  EXPECT_EQ(reused.Find(u"DueDate")->type, 2u);
  EXPECT_EQ(reused.Find(u"Importance")->type, 3u);
}

TEST(PropertyList, ClearedAndRefilledListBuildsTheSameBytes) {
  CPropertyList list(devrec::kKindTask);
  auto fill = [&] {
    list.AddString("Subject", u"\uD55C\uAE00 subject, long enough to need its own buffer");
    list.AddInteger("Importance", 2);
    list.Add("NoSuchName", nullptr);
  };
  fill();
  auto once = Build(list, devrec::kModeAdd, 0);
  list.Clear();
  EXPECT_EQ(list.head(), nullptr);
  EXPECT_EQ(list.count(), 0u);
  fill();
  EXPECT_EQ(Build(list, devrec::kModeAdd, 0), once);
  ASSERT_NE(list.head(), nullptr);
  EXPECT_STREQ(list.head()->next->next->name, "NoSuchName");
  EXPECT_EQ(list.head()->next->next->next, nullptr);
  EXPECT_EQ(list.count(), 2u);
}

}  // namespace
}  // namespace qwb
