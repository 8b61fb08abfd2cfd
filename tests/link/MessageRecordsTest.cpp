// The fixed-layout message and SIM records against bytes laid out by hand from their layouts.
#include <gtest/gtest.h>

#include <string>

#include "TestBytes.h"
#include "link/MessageRecords.h"

namespace devrec {
namespace {

using linktest::Cat;
using linktest::U32;
using linktest::Z;

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void PutWide(std::vector<uint8_t>& b, size_t at, std::u16string_view s) {
  for (size_t i = 0; i < s.size(); ++i) Put16(b, at + 2 * i, s[i]);
}

TEST(StreamMessageRecord, GoldenBytesAndRoundTrip) {
  // "한" U+D55C, then U+1F600 as the pair D83D DE00.
  const std::u16string text = u"Hi \uD55C \U0001F600";
  std::vector<uint8_t> golden(4712, 0);
  const uint16_t time[8] = {2008, 11, 1, 3, 9, 41, 7, 250};
  for (int i = 0; i < 8; ++i) Put16(golden, 4 + 2 * i, time[i]);
  PutWide(golden, 62, u"010-5555-0101");
  PutWide(golden, 580, text);
  PutWide(golden, 1606, u"20081103000000001");
  Put16(golden, 2652, 2);
  PutWide(golden, 3688, u"010-9999-0000");
  EXPECT_EQ(golden[580 + 2 * 5], 0x3D);  // the high surrogate's low byte, where expected
  EXPECT_EQ(golden[580 + 2 * 5 + 1], 0xD8);

  StreamMessage m{{2008, 11, 1, 3, 9, 41, 7, 250}, u"010-5555-0101", text,
                  u"20081103000000001", 2, u"010-9999-0000"};
  std::array<uint8_t, kStreamMessageSize> out{};
  ASSERT_TRUE(WriteStreamMessage(m, &out));
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end()), golden);
  EXPECT_EQ(ReadStreamMessage(golden.data()), m);

  // Bytes outside the fields are not read; a text filling its area to the last byte (no NUL)
  // reads up to the area's end and no further.
  std::vector<uint8_t> noisy = golden;
  noisy[0] = noisy[3] = noisy[40] = noisy[2700] = 0xEE;
  for (size_t i = 580; i < 1606; i += 2) Put16(noisy, i, u'x');
  StreamMessage full = ReadStreamMessage(noisy.data());
  EXPECT_EQ(full.text, std::u16string(513, u'x'));
  EXPECT_EQ(full.identifier, m.identifier);
}

TEST(StreamMessageRecord, AreaLimits) {
  struct {
    StreamMessage m;
    bool fits;
  } cases[] = {
      {{{}, u"", std::u16string(512, u'a'), u"", 0, u""}, true},
      {{{}, u"", std::u16string(513, u'a'), u"", 0, u""}, false},
      {{{}, std::u16string(258, u'1'), u"", u"", 0, u""}, true},
      {{{}, std::u16string(259, u'1'), u"", u"", 0, u""}, false},
      {{{}, u"", u"", u"", 0, std::u16string(511, u'1')}, true},
      {{{}, u"", u"", u"", 0, std::u16string(512, u'1')}, false},
      {{{}, u"", u"", std::u16string(522, u'9'), 0, u""}, true},
      {{{}, u"", u"", std::u16string(523, u'9'), 0, u""}, false},
  };
  for (const auto& c : cases) {
    std::array<uint8_t, kStreamMessageSize> out{};
    out[0] = 0x55;
    EXPECT_EQ(WriteStreamMessage(c.m, &out), c.fits);
    if (c.fits) {
      EXPECT_EQ(ReadStreamMessage(out.data()), c.m);
    } else {
      EXPECT_EQ(out[0], 0x55) << "a refused record leaves the buffer alone";
    }
  }
}

TEST(EntryIdList, GoldenBytesPaddingAndOverlongEntries) {
  EntryId full = MakeEntryId({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 0x01020304);
  EXPECT_EQ(full.Suid(), 0x01020304u);
  EntryId shortId;
  shortId.length = 6;
  for (int i = 0; i < 6; ++i) shortId.bytes[i] = uint8_t(0xA0 + i);

  const std::vector<uint8_t> golden =
      Cat({U32(4), U32(1), U32(2), U32(20),
           {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 4, 3, 2, 1}, U32(6),
           {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0, 0}});
  EXPECT_EQ(EncodeEntryIdList(4, 1, {full, shortId}), golden);
  std::vector<EntryId> read;
  EXPECT_EQ(ReadEntryIdList(golden.data(), golden.size(), &read), ReadError::kOk);
  EXPECT_EQ(read, (std::vector<EntryId>{full, shortId}));

  // A 24-byte entry is skipped and the walk goes on to the next one.
  std::vector<uint8_t> overlong =
      Cat({U32(0), U32(0), U32(2), U32(24), std::vector<uint8_t>(24, 7), U32(20),
           {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 4, 3, 2, 1}});
  read.clear();
  size_t skipped = 0;
  EXPECT_EQ(ReadEntryIdList(overlong.data(), overlong.size(), &read, &skipped), ReadError::kOk);
  EXPECT_EQ(skipped, 1u);
  EXPECT_EQ(read, std::vector<EntryId>{full});

  // A count above what arrived keeps what was read; short replies list nothing.
  std::vector<uint8_t> cut(golden.begin(), golden.begin() + 12 + 24 + 5);
  read.clear();
  EXPECT_EQ(ReadEntryIdList(cut.data(), cut.size(), &read), ReadError::kTruncated);
  EXPECT_EQ(read, std::vector<EntryId>{full});
  read.clear();
  EXPECT_EQ(ReadEntryIdList(golden.data(), 11, &read), ReadError::kOk);
  EXPECT_TRUE(read.empty());

  // The get request by entry ID carries no pad.
  EXPECT_EQ(EncodeGetByEntryId(4, 3, shortId),
            Cat({U32(4), U32(3), U32(6), {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}}));
  uint32_t kind = 0, folder = 0;
  EntryId back;
  auto req = EncodeGetByEntryId(5, 2, full);
  ASSERT_TRUE(ReadGetByEntryId(req.data(), req.size(), &kind, &folder, &back));
  EXPECT_EQ(back, full);
  EXPECT_EQ(kind, 5u);
  EXPECT_EQ(folder, 2u);
  auto bad = Cat({U32(4), U32(1), U32(21), std::vector<uint8_t>(21, 0)});
  EXPECT_FALSE(ReadGetByEntryId(bad.data(), bad.size(), &kind, &folder, &back));
}

TEST(MessageIdList, GoldenBytes) {
  const std::vector<uint8_t> golden = Cat({U32(4), U32(2), U32(3), U32(7), U32(9), U32(0x100)});
  EXPECT_EQ(EncodeMessageIdList(4, 2, {7, 9, 0x100}), golden);
  std::vector<uint32_t> ids;
  EXPECT_EQ(ReadMessageIdList(golden.data(), golden.size(), &ids), ReadError::kOk);
  EXPECT_EQ(ids, (std::vector<uint32_t>{7, 9, 0x100}));
  ids.clear();
  EXPECT_EQ(ReadMessageIdList(golden.data(), golden.size() - 1, &ids), ReadError::kTruncated);
  EXPECT_EQ(ids, (std::vector<uint32_t>{7, 9}));
}

TEST(SimRecord, GoldenBytesLimitsAndLists) {
  std::vector<uint8_t> golden(336, 0);
  golden[0] = 0x2A;
  PutWide(golden, 4, u"\uAE40\uBBFC\uC218");  // 김민수
  PutWide(golden, 38, u"+821055550101");
  PutWide(golden, 120, u"0212345678");
  PutWide(golden, 202, u"minsu@example.kr");
  SimRecord r{42, u"\uAE40\uBBFC\uC218", u"+821055550101", u"0212345678", u"minsu@example.kr"};
  std::array<uint8_t, kSimRecordSize> out{};
  ASSERT_TRUE(WriteSimRecord(r, &out));
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end()), golden);
  EXPECT_EQ(ReadSimRecord(golden.data()), r);

  // Areas: name 16 characters, numbers 40, e-mail 66 (each with its NUL).
  EXPECT_TRUE(WriteSimRecord({1, std::u16string(16, u'n'), u"", u"", u""}, &out));
  EXPECT_FALSE(WriteSimRecord({1, std::u16string(17, u'n'), u"", u"", u""}, &out));
  EXPECT_FALSE(WriteSimRecord({1, u"", std::u16string(41, u'1'), u"", u""}, &out));
  EXPECT_FALSE(WriteSimRecord({1, u"", u"", std::u16string(41, u'1'), u""}, &out));
  EXPECT_TRUE(WriteSimRecord({1, u"", u"", u"", std::u16string(66, u'e')}, &out));
  EXPECT_FALSE(WriteSimRecord({1, u"", u"", u"", std::u16string(67, u'e')}, &out));

  std::array<uint8_t, kSimRecordSize> rec{};
  ASSERT_TRUE(WriteSimRecord(r, &rec));
  std::vector<uint8_t> list = EncodeSimRecordList({rec, rec});
  EXPECT_EQ(list.size(), 4u + 2 * 336);
  EXPECT_EQ(std::vector<uint8_t>(list.begin(), list.begin() + 4), U32(2));
  std::vector<SimRecord> records;
  EXPECT_EQ(ReadSimRecordList(list.data(), list.size() - 1, &records), ReadError::kTruncated);
  EXPECT_EQ(records, std::vector<SimRecord>{r});

}

TEST(SimCapacities, WordsFromPropertiesInTheirOrder) {
  std::vector<RawEntry> props;
  auto integer = [&](const char* n, uint32_t v) { props.push_back({n, kTypeInteger, U32(v)}); };
  integer("MaxGroupIdCount", 18);
  integer("nUsed", 1);
  integer("nTotal", 2);
  integer("MaxPBEAddressLength", 3);
  integer("MaxPBETextLength", 4);
  integer("MinPBIndex", 5);
  integer("MaxPBIndex", 6);
  integer("MaxSNELength", 99);  // no word of its own
  integer("MaxANRLength", 8);
  integer("MaxEmailAddrLength", 9);
  integer("MaxGroupTagLength", 10);
  integer("MaxANRTagLength", 11);
  integer("ANRCount", 12);
  integer("EmailAddrCount", 13);
  integer("MaxGroupTag", 14);
  integer("MaxANRTag", 15);
  props.push_back({"fHidden", kTypeBoolean, {0xFF, 0xFF}});
  props.push_back({"fUid", kTypeBoolean, {0x01, 0x00}});
  SimCapacities caps;
  caps.words[16] = 77;  // a flag that is present but not 0xFFFF becomes 0
  ReadSimCapacities(props, &caps);
  EXPECT_EQ(caps.words, (std::array<uint32_t, 18>{1, 2, 3, 4, 5, 6, 0, 8, 9, 10, 11, 12, 13, 14,
                                                  15, 1, 0, 18}));

  // Missing properties leave their word alone; the phone's own list reads back the same.
  SimCapacities kept;
  kept.words[1] = 250;
  ReadSimCapacities({{"nUsed", kTypeInteger, U32(3)}}, &kept);
  EXPECT_EQ(kept.words[0], 3u);
  EXPECT_EQ(kept.words[1], 250u);
  std::vector<RawEntry> sent;
  for (const Property& p : SimCapacityProperties(caps))
    sent.push_back({p.name, LookupType(kKindSimContact, p.name), p.value});
  SimCapacities again;
  ReadSimCapacities(sent, &again);
  EXPECT_EQ(again, caps);
}

}  // namespace
}  // namespace devrec
