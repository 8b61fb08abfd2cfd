#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "TestBytes.h"
#include "link/DeviceRecord.h"

namespace devrec {
namespace {

using linktest::Bytes;
using linktest::Cat;
using linktest::U32;

TEST(DeviceRecordTables, KindsNamesAndTypes) {
  std::vector<size_t> sizes;
  for (uint32_t kind = 1; kind <= 7; ++kind) {
    auto table = PropertyTable(kind);
    sizes.push_back(table.size());
    std::set<std::string> seen;
    for (const PropertySlot& s : table) {
      EXPECT_LE(std::strlen(s.name), kMaxNameLength) << s.name;
      EXPECT_TRUE(seen.insert(s.name).second) << "duplicate " << s.name;
      EXPECT_GE(s.type, 1u);
      EXPECT_LE(s.type, 5u);
    }
  }
  EXPECT_EQ(sizes, (std::vector<size_t>{71, 30, 27, 46, 19, 35, 5}));
  EXPECT_TRUE(PropertyTable(0).empty());
  EXPECT_TRUE(PropertyTable(8).empty());

  // The MMS kind repeats the first 17 message names with their types.
  auto msg = PropertyTable(kKindMessage);
  auto mms = PropertyTable(kKindMmsMessage);
  for (size_t i = 0; i < 17; ++i) {
    EXPECT_STREQ(msg[i].name, mms[i].name);
    EXPECT_EQ(msg[i].type, mms[i].type);
  }
  EXPECT_STREQ(mms[17].name, "PR_MMS_BODY");
  EXPECT_EQ(mms[17].type, kTypeBinary);

  // The lookup answers from the kind's own table, with case.
  EXPECT_EQ(LookupType(kKindAppointment, "Start"), kTypeDate);
  EXPECT_EQ(LookupType(kKindAppointment, "StartDate"), kTypeNone);
  EXPECT_EQ(LookupType(kKindTask, "StartDate"), kTypeDate);
  EXPECT_EQ(LookupType(kKindTask, "subject"), kTypeNone);
  EXPECT_EQ(LookupType(kKindSimMessage, "ReceiveTime"), kTypeDate);
  EXPECT_EQ(LookupType(9, "Subject"), kTypeNone);

  // The task-only lookup knows nothing of the other kinds, even of shared names.
  EXPECT_EQ(LookupTaskType(kKindTask, "Subject"), kTypeString);
  EXPECT_EQ(LookupTaskType(kKindAppointment, "Subject"), kTypeNone);
  EXPECT_EQ(LookupTaskType(kKindContact, "Body"), kTypeNone);
  EXPECT_EQ(LookupTaskType(kKindTask, "Start"), kTypeNone);
}

TEST(DeviceRecordWriter, ByteExactLayouts) {
  // "abc" as a task Subject: name 8 bytes with its NUL (no pad), value 4 bytes, no pad.
  auto rec = EncodeRequest(kKindTask, kModeAdd, 0, {Property::String("Subject", "abc")});
  EXPECT_EQ(rec, Cat({U32(3), U32(1), U32(8), Bytes(std::string_view("Subject\0", 8)), U32(4),
                      Bytes(std::string_view("abc\0", 4))}));

  // A 5-byte binary value gets 3 pad bytes; so does the name "Body" (5 with its NUL).
  rec = EncodeReply(7, {Property::Binary("Body", {1, 2, 3, 4, 5})});
  EXPECT_EQ(rec, Cat({U32(7),
                      U32(5),
                      Bytes(std::string_view("Body\0\0\0\0", 8)),
                      U32(5),
                      {1, 2, 3, 4, 5, 0, 0, 0}}));

  // Mode 1 starts with kind, entry id, count.
  rec = EncodeRequest(kKindTask, kModeReplace, 0x12,
                      {Property::Integer("Importance", 3), Property::Boolean("Complete", 1)});
  ASSERT_GE(rec.size(), 12u);
  EXPECT_EQ(std::vector<uint8_t>(rec.begin(), rec.begin() + 12), Cat({U32(3), U32(0x12), U32(2)}));
  EXPECT_EQ(rec.size(), 12 + (4 + 12 + 4 + 4) + (4 + 12 + 4 + 4));
  EXPECT_EQ(std::vector<uint8_t>(rec.end() - 8, rec.end()),
            (std::vector<uint8_t>{2, 0, 0, 0, 1, 0, 0, 0}));

  // Empty lists are the header alone.
  EXPECT_EQ(EncodeRequest(kKindTask, kModeAdd, 99, {}), Cat({U32(3), U32(0)}));
  EXPECT_EQ(EncodeRequest(kKindTask, kModeReplace, 0x12, {}), Cat({U32(3), U32(0x12), U32(0)}));
  EXPECT_EQ(EncodeReply(5, {}), U32(5));
}

TEST(DeviceRecordReader, EveryTypeRoundTrips) {
  std::vector<uint8_t> blob(37);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = uint8_t(i * 7);
  std::string longest(49, 'x');
  auto rec = EncodeReply(42, {Property::String("FirstName", "\xED\x95\x9C\xEA\xB8\x80 name"),
                              Property::Date("Birthday", 36526.75),
                              Property::String("Categories", ""), Property::Binary("Picture", blob),
                              Property::Integer("Unknown", -5), Property::String(longest, "z")});
  std::vector<RawEntry> got;
  ASSERT_EQ(ReadReply(rec.data(), rec.size(), kKindContact, &got), ReadError::kOk);
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0].name, "FirstName");
  EXPECT_EQ(got[0].type, kTypeString);
  EXPECT_EQ(ValueAsString(got[0]), "\xED\x95\x9C\xEA\xB8\x80 name");
  double d = 0;
  EXPECT_EQ(got[1].type, kTypeDate);
  ASSERT_TRUE(ValueAsDate(got[1], &d));
  EXPECT_EQ(d, 36526.75);
  EXPECT_EQ(ValueAsString(got[2]), "");
  EXPECT_EQ(got[2].value.size(), 1u);
  EXPECT_EQ(got[3].type, kTypeBinary);
  EXPECT_EQ(got[3].value, blob);
  EXPECT_EQ(got[4].type, kTypeNone);  // not a contact property: type 0, bytes kept
  EXPECT_EQ(got[4].value.size(), 4u);
  EXPECT_EQ(got[5].name, longest);

  // Integers and booleans through a task request read back by the service's reader.
  auto req =
      EncodeRequest(kKindTask, kModeReplace, 0x12,
                    {Property::Integer("Importance", -2), Property::Boolean("Complete", 0xFFFF),
                     Property::Date("DueDate", 949998.0)});
  Request r;
  ASSERT_EQ(ReadRequest(req.data(), req.size(), kModeReplace, &r), ReadError::kOk);
  EXPECT_EQ(r.kind, 3u);
  EXPECT_EQ(r.entryId, 0x12u);
  ASSERT_EQ(r.count, 3u);
  int32_t i = 0;
  uint16_t b = 0;
  ASSERT_TRUE(ValueAsInteger(r.properties[0], &i));
  EXPECT_EQ(i, -2);
  ASSERT_TRUE(ValueAsBoolean(r.properties[1], &b));
  EXPECT_EQ(b, 0xFFFF);
  ASSERT_TRUE(ValueAsDate(r.properties[2], &d));
  EXPECT_EQ(d, 949998.0);
  EXPECT_EQ(EncodeRequest(r.kind, kModeReplace, r.entryId,
                          {Property{r.properties[0].name, r.properties[0].value},
                           Property{r.properties[1].name, r.properties[1].value},
                           Property{r.properties[2].name, r.properties[2].value}}),
            req);

  // The mode 0 form of the same request.
  req = EncodeRequest(kKindTask, kModeAdd, 0, {Property::String("Subject", "s")});
  ASSERT_EQ(ReadRequest(req.data(), req.size(), kModeAdd, &r), ReadError::kOk);
  EXPECT_EQ(r.entryId, 0u);
  ASSERT_EQ(r.properties.size(), 1u);
  EXPECT_EQ(ValueAsString(r.properties[0]), "s");
}

TEST(DeviceRecordReader, ShortRepliesAndBoundaries) {
  std::vector<RawEntry> got{RawEntry{}};
  EXPECT_EQ(ReadReply(nullptr, 0, kKindTask, &got), ReadError::kOk);
  EXPECT_TRUE(got.empty());
  auto four = U32(0x77);
  EXPECT_EQ(ReadReply(four.data(), four.size(), kKindTask, &got), ReadError::kOk);
  EXPECT_TRUE(got.empty());

  // A record whose last value pad is missing is still read whole.
  auto rec = EncodeReply(0, {Property::Binary("Picture", {9})});
  rec.resize(rec.size() - 3);
  ASSERT_EQ(ReadReply(rec.data(), rec.size(), kKindContact, &got), ReadError::kOk);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].value, std::vector<uint8_t>{9});
}

TEST(DeviceRecordReader, MalformedRepliesAreRejected) {
  auto good =
      EncodeReply(1, {Property::String("Subject", "abc"), Property::Integer("Importance", 2)});
  std::vector<RawEntry> got;
  // Every cut of a good record fails, except the one at the end of its first property
  // (24 bytes); ASan would catch a read past the cut.
  for (size_t n = 5; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    ReadError e = ReadReply(cut.data(), cut.size(), kKindTask, &got);
    if (n == 24) {
      EXPECT_EQ(e, ReadError::kOk);
      EXPECT_EQ(got.size(), 1u);
    } else {
      EXPECT_NE(e, ReadError::kOk) << "length " << n;
    }
  }

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    ReadError expected;
  };
  std::vector<Case> cases = {
      {"tail shorter than a length", Cat({U32(0), {1, 0}}), ReadError::kTruncated},
      {"nameLength past the end", Cat({U32(0), U32(200), Bytes("Subj")}), ReadError::kTruncated},
      {"nameLength 0", Cat({U32(0), U32(0), U32(0)}), ReadError::kEmptyName},
      {"name without NUL", Cat({U32(0), U32(4), Bytes("Subj"), U32(0)}), ReadError::kUnterminated},
      {"valueLength past the end",
       Cat({U32(0), U32(4), Bytes(std::string_view("Sub\0", 4)), U32(0x7FFFFFFF), Bytes("ab")}),
       ReadError::kTruncated},
      {"valueLength wraps",
       Cat({U32(0), U32(4), Bytes(std::string_view("Sub\0", 4)), U32(0xFFFFFFFC)}),
       ReadError::kTruncated},
      {"no value length", Cat({U32(0), U32(4), Bytes(std::string_view("Sub\0", 4))}),
       ReadError::kTruncated},
      {"short integer",
       Cat({U32(0), U32(11), Bytes(std::string_view("Importance\0\0", 12)), U32(2), {1, 0, 0, 0}}),
       ReadError::kShortValue},
  };
  std::string fifty(50, 'n');
  cases.push_back({"name of 50 characters",
                   Cat({U32(0), U32(51), Bytes(fifty), {0, 0}, U32(1), {0, 0, 0, 0}}),
                   ReadError::kNameTooLong});
  for (const Case& c : cases) {
    EXPECT_EQ(ReadReply(c.bytes.data(), c.bytes.size(), kKindTask, &got), c.expected) << c.what;
  }

  // A request that announces more properties than it holds.
  auto req = EncodeRequest(kKindTask, kModeAdd, 0, {Property::String("Subject", "x")});
  req[4] = 2;
  Request r;
  EXPECT_EQ(ReadRequest(req.data(), req.size(), kModeAdd, &r), ReadError::kTruncated);
  EXPECT_EQ(ReadRequest(req.data(), 6, kModeAdd, &r), ReadError::kTruncated);
  EXPECT_EQ(ReadRequest(req.data(), 8, kModeReplace, &r), ReadError::kTruncated);
}

}  // namespace
}  // namespace devrec
