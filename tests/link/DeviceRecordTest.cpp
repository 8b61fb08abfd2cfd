#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "TestBytes.h"
#include "link/DeviceRecord.h"
#include "link/ServiceFormats.h"

namespace devrec {
namespace {

using linktest::Cat;
using linktest::U32;
using linktest::Z;

TEST(DeviceRecordTables, NamesAndLookups) {
  for (uint32_t kind = 1; kind <= 7; ++kind) {
    std::set<std::string> seen;
    for (const PropertySlot& s : PropertyTable(kind)) {
      EXPECT_LE(std::strlen(s.name), kMaxNameLength) << s.name;
      EXPECT_TRUE(seen.insert(s.name).second) << "duplicate " << s.name;
      EXPECT_TRUE(s.type >= 1 && s.type <= 5) << s.name;
    }
  }
  EXPECT_TRUE(PropertyTable(8).empty());

  // Both lookups compare with case; the task-only one knows nothing of the other kinds.
  struct {
    uint32_t kind;
    const char* name;
    uint32_t type, taskType;
  } lookups[] = {{kKindAppointment, "Start", kTypeDate, kTypeNone},
                 {kKindAppointment, "StartDate", kTypeNone, kTypeNone},
                 {kKindTask, "StartDate", kTypeDate, kTypeDate},
                 {kKindContact, "Body", kTypeString, kTypeNone},
                 {kKindTask, "subject", kTypeNone, kTypeNone},
                 {9, "Subject", kTypeNone, kTypeNone}};
  for (const auto& l : lookups) {
    EXPECT_EQ(LookupType(l.kind, l.name), l.type) << l.kind << " " << l.name;
    EXPECT_EQ(LookupTaskType(l.kind, l.name), l.taskType) << l.kind << " " << l.name;
  }
}

TEST(DeviceRecordTables, EveryNameFoundAndNearMissesNot) {
  for (uint32_t kind = 1; kind <= 7; ++kind) {
    for (const PropertySlot& s : PropertyTable(kind)) {
      const std::string name(s.name);
      EXPECT_EQ(LookupType(kind, name), s.type) << kind << " " << name;
      // Near misses: one byte changed at the start, the middle and the end (the middle of a
      // long name is outside the words the index hashes), and one byte more.
      for (size_t at : {size_t{0}, name.size() / 2, name.size() - 1}) {
        std::string other = name;
        other[at] = other[at] == '#' ? '$' : '#';
        EXPECT_EQ(LookupType(kind, other), kTypeNone) << kind << " " << other;
      }
      EXPECT_EQ(LookupType(kind, name + "s"), kTypeNone) << kind << " " << name;
    }
  }
  EXPECT_EQ(LookupType(kKindTask, ""), kTypeNone);
  EXPECT_EQ(LookupType(kKindTask, std::string(60, 'A')), kTypeNone);

  // The name field comes ready for the wire: nameLength, the name, its NUL, the pad.
  const NameField* f = FindName(kKindTask, "Importance", 10);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->type, kTypeInteger);
  EXPECT_EQ(std::vector<uint8_t>(f->wire, f->wire + f->size), Cat({U32(11), Z("Importance", 12)}));
}

TEST(DeviceRecordTables, AddressCacheFollowsTheBytesNotTheAddress) {
  // One buffer holding name after name: the answer is always that of the bytes it holds.
  char buffer[64];
  struct {
    const char* name;
    uint32_t kind;
    uint32_t type;
  } steps[] = {{"Subject", kKindTask, kTypeString},
               {"DueDate", kKindTask, kTypeDate},
               {"DueDate", kKindAppointment, kTypeNone},
               {"Due", kKindTask, kTypeNone},
               {"RecurrPattern.PatternStartDate", kKindTask, kTypeDate},
               {"RecurrPattern.PatternXtartDate", kKindTask, kTypeNone},
               {"Importance", kKindTask, kTypeInteger}};
  for (int round = 0; round < 2; ++round) {
    for (const auto& s : steps) {
      std::strcpy(buffer, s.name);
      size_t length = 0;
      const NameField* f = FindNameAt(s.kind, buffer, &length);
      EXPECT_EQ(length, std::strlen(s.name));
      EXPECT_EQ(f ? f->type : kTypeNone, s.type) << s.name << " kind " << s.kind;
    }
  }
}

TEST(DeviceRecordWriter, AppendPropertyKeepsEachTypesForm) {
  const std::vector<uint8_t> nine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const std::vector<uint8_t> textWithNul = {'a', 'b', 0, 'c'};
  struct {
    uint32_t type;
    std::vector<uint8_t> value;
    std::vector<uint8_t> wire;  // the value's length word, value and pad
  } cases[] = {
      {kTypeString, textWithNul, Cat({U32(3), Z("ab", 4)})},             // to its NUL, then one NUL
      {kTypeString, {'x', 'y', 'z', 'w'}, Cat({U32(5), Z("xyzw", 8)})},  // NUL added
      {kTypeString, {}, Cat({U32(1), Z("", 4)})},
      {kTypeDate, nine, Cat({U32(8), {1, 2, 3, 4, 5, 6, 7, 8}})},  // cut to 8
      {kTypeInteger, nine, Cat({U32(4), {1, 2, 3, 4}})},
      {kTypeBoolean, nine, Cat({U32(2), {1, 2, 0, 0}})},
      {kTypeInteger, {1, 2}, Cat({U32(2), {1, 2, 0, 0}})},  // too short: as it is
      {kTypeBinary, textWithNul, Cat({U32(4), textWithNul})},
      {kTypeNone, {7}, Cat({U32(1), {7, 0, 0, 0}})},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out = {0xEE};  // appended after what is there
    AppendProperty(&out, "Body", c.type, c.value);
    EXPECT_EQ(out, Cat({{0xEE}, U32(5), Z("Body", 8), c.wire})) << "type " << c.type;
  }
}

TEST(DeviceRecordWriter, ByteExactLayouts) {
  // "abc" as a task Subject: name 8 bytes with its NUL (no pad), value 4 bytes, no pad.
  EXPECT_EQ(EncodeRequest(kKindTask, kModeAdd, 0, {Property::String("Subject", "abc")}),
            Cat({U32(3), U32(1), U32(8), Z("Subject", 8), U32(4), Z("abc", 4)}));
  // A 5-byte binary value gets 3 pad bytes; so does the name "Body" (5 with its NUL).
  EXPECT_EQ(EncodeReply(7, {Property::Binary("Body", {1, 2, 3, 4, 5})}),
            Cat({U32(7), U32(5), Z("Body", 8), U32(5), {1, 2, 3, 4, 5, 0, 0, 0}}));
  // Mode 1 starts with kind, entry id, count.
  EXPECT_EQ(EncodeRequest(kKindTask, kModeReplace, 0x12,
                          {Property::Integer("Importance", 3), Property::Boolean("Complete", 1)}),
            Cat({U32(3),
                 U32(0x12),
                 U32(2),
                 U32(11),
                 Z("Importance", 12),
                 U32(4),
                 U32(3),
                 U32(9),
                 Z("Complete", 12),
                 U32(2),
                 {1, 0, 0, 0}}));
  // Empty lists are the header alone.
  EXPECT_EQ(EncodeRequest(kKindTask, kModeAdd, 99, {}), Cat({U32(3), U32(0)}));
  EXPECT_EQ(EncodeRequest(kKindTask, kModeReplace, 0x12, {}), Cat({U32(3), U32(0x12), U32(0)}));
  EXPECT_EQ(EncodeReply(5, {}), U32(5));
}

TEST(DeviceRecordReader, BoundariesAndMalformedInput) {
  // A missing last value pad is tolerated. (Empty and 4-byte replies are checked through the
  // property map.)
  std::vector<RawEntry> got;
  auto rec = EncodeReply(0, {Property::Binary("Picture", {9})});
  rec.resize(rec.size() - 3);
  ASSERT_EQ(ReadReply(rec.data(), rec.size(), kKindContact, &got), ReadError::kOk);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].value, std::vector<uint8_t>{9});

  // Every cut of a good record fails, except the one at the end of its first property
  // (24 bytes); ASan would catch a read past the cut.
  auto good =
      EncodeReply(1, {Property::String("Subject", "abc"), Property::Integer("Importance", 2)});
  for (size_t n = 5; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    ReadError e = ReadReply(cut.data(), cut.size(), kKindTask, &got);
    EXPECT_EQ(e == ReadError::kOk, n == 24) << "length " << n;
    if (n == 24) {
      EXPECT_EQ(got.size(), 1u);
    }
  }

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    ReadError expected;
  } cases[] = {
      {"tail shorter than a length", Cat({U32(0), {1, 0}}), ReadError::kTruncated},
      {"nameLength past the end", Cat({U32(0), U32(200), Z("Subj")}), ReadError::kTruncated},
      {"nameLength 0", Cat({U32(0), U32(0), U32(0)}), ReadError::kEmptyName},
      {"name without NUL", Cat({U32(0), U32(4), Z("Subj"), U32(0)}), ReadError::kUnterminated},
      {"valueLength past the end", Cat({U32(0), U32(4), Z("Sub", 4), U32(0x7FFFFFFF), Z("ab")}),
       ReadError::kTruncated},
      {"valueLength wraps", Cat({U32(0), U32(4), Z("Sub", 4), U32(0xFFFFFFFC)}),
       ReadError::kTruncated},
      {"no value length", Cat({U32(0), U32(4), Z("Sub", 4)}), ReadError::kTruncated},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadReply(c.bytes.data(), c.bytes.size(), kKindTask, &got), c.expected) << c.what;
  }

  // A request that announces more properties than it holds, or is cut in its header.
  auto req = EncodeRequest(kKindTask, kModeAdd, 0, {Property::String("Subject", "x")});
  req[4] = 2;
  Request r;
  EXPECT_EQ(ReadRequest(req.data(), req.size(), kModeAdd, &r), ReadError::kTruncated);
  EXPECT_EQ(ReadRequest(req.data(), 6, kModeAdd, &r), ReadError::kTruncated);
  EXPECT_EQ(ReadRequest(req.data(), 8, kModeReplace, &r), ReadError::kTruncated);
}

// The reader takes every property on its own: what is wrong with one property's name or value
// costs that property, not the record.
TEST(DeviceRecordReader, EachPropertyStandsOnItsOwn) {
  const auto subject = Cat({U32(8), Z("Subject", 8), U32(2), Z("x", 4)});
  std::vector<RawEntry> got;
  // A name longer than a type slot but within the reader's buffer: read, unknown (type 0).
  auto fifty = Cat({U32(0), U32(51), Z(std::string(50, 'n'), 52), U32(1), Z("v", 4), subject});
  ASSERT_EQ(ReadReply(fifty.data(), fifty.size(), kKindTask, &got), ReadError::kOk);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].name, std::string(50, 'n'));
  EXPECT_EQ(got[0].type, kTypeNone);
  EXPECT_EQ(got[1].name, "Subject");
  // A name longer than 259 bytes: passed over, the next property is read.
  auto huge = Cat({U32(0), U32(261), Z(std::string(260, 'n'), 264), U32(4), U32(7), subject});
  ASSERT_EQ(ReadReply(huge.data(), huge.size(), kKindTask, &got), ReadError::kOk);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].name, "Subject");
  // 259 bytes still fit.
  auto edge = Cat({U32(0), U32(260), Z(std::string(259, 'n'), 260), U32(0)});
  ASSERT_EQ(ReadReply(edge.data(), edge.size(), kKindTask, &got), ReadError::kOk);
  EXPECT_EQ(got.size(), 1u);
  // An integer of two bytes keeps its bytes; the typed view refuses it.
  auto shortInt = Cat({U32(0), U32(11), Z("Importance", 12), U32(2), {1, 0, 0, 0}, subject});
  ASSERT_EQ(ReadReply(shortInt.data(), shortInt.size(), kKindTask, &got), ReadError::kOk);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].type, kTypeInteger);
  int32_t i = 0;
  EXPECT_FALSE(ValueAsInteger(got[0], &i));
}

// The small formats, against bytes written by hand.
TEST(ServiceFormats, GoldenBytesBothWays) {
  EXPECT_EQ(EncodeKindRequest(3), (std::vector<uint8_t>{3, 0, 0, 0}));
  EXPECT_EQ(EncodeKindIdRequest(2, 0x01020304), (std::vector<uint8_t>{2, 0, 0, 0, 4, 3, 2, 1}));
  const uint32_t ids[] = {0x10, 0xA0B0C0D0};
  const std::vector<uint8_t> list = {2, 0, 0, 0, 0x10, 0, 0, 0, 0xD0, 0xC0, 0xB0, 0xA0};
  EXPECT_EQ(EncodeIdList(ids), list);
  EXPECT_EQ(EncodeNewId(0x1234), (std::vector<uint8_t>{0x34, 0x12, 0, 0}));

  uint32_t kind = 0;
  EXPECT_TRUE(ReadKindRequest(std::vector<uint8_t>{6, 0, 0, 0, 9}, &kind));
  EXPECT_EQ(kind, 6u);
  EXPECT_FALSE(ReadKindRequest(std::vector<uint8_t>{6, 0, 0}, &kind));
  KindId kid;
  EXPECT_TRUE(ReadKindIdRequest(std::vector<uint8_t>{2, 0, 0, 0, 4, 3, 2, 1}, &kid));
  EXPECT_EQ(kid.kind, 2u);
  EXPECT_EQ(kid.id, 0x01020304u);
  EXPECT_FALSE(ReadKindIdRequest(std::vector<uint8_t>{2, 0, 0, 0, 4, 3, 2}, &kid));

  struct Case {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> ids;
    bool complete;
  } cases[] = {
      {{}, {}, true},                                // an empty reply: no entries
      {list, {0x10, 0xA0B0C0D0}, true},              // bytes after the ids are not read
      {{3, 0, 0, 0, 5, 0, 0, 0, 6, 0}, {5}, false},  // a count larger than what came
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> got;
    bool complete = !c.complete;
    ReadIdList(c.bytes, &got, &complete);
    EXPECT_EQ(got, c.ids);
    EXPECT_EQ(complete, c.complete);
  }
  uint32_t id = 0;
  EXPECT_FALSE(ReadNewId(std::vector<uint8_t>{}, &id));
  EXPECT_TRUE(ReadNewId(std::vector<uint8_t>{0x34, 0x12, 0, 0, 0xFF}, &id));
  EXPECT_EQ(id, 0x1234u);
}

}  // namespace
}  // namespace devrec
