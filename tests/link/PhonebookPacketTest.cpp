// The phonebook stream packets against bytes written out by hand from their layouts.
#include <gtest/gtest.h>

#include <cstring>

#include "link/PhonebookPacket.h"
#include "tests/link/TestBytes.h"

namespace {

using linktest::Cat;
using linktest::U32;
using linktest::Z;
using Bytes = std::vector<uint8_t>;

pbpacket::PropertyRef Str(std::string_view name, const std::string& valueWithNul) {
  return {name, reinterpret_cast<const uint8_t*>(valueWithNul.data()),
          static_cast<uint32_t>(valueWithNul.size())};
}

Bytes Utf16(std::u16string_view s, size_t bytes) {
  Bytes out;
  for (char16_t c : s) {
    out.push_back(uint8_t(c));
    out.push_back(uint8_t(c >> 8));
  }
  out.resize(bytes, 0);
  return out;
}

TEST(PhonebookPacket, FixedRequests) {
  struct Case {
    const char* what;
    Bytes got, want;
  } cases[] = {
      {"delete contact", pbpacket::WordsRequest(2, {1, 0x12}), Cat({U32(2), U32(8), U32(1), U32(0x12)})},
      {"get contact", pbpacket::WordsRequest(3, {1, 7}), Cat({U32(3), U32(8), U32(1), U32(7)})},
      {"list contact ids", pbpacket::WordsRequest(6, {1}), Cat({U32(6), U32(4), U32(1)})},
      {"list categories", pbpacket::WordsRequest(7, {}), Cat({U32(7), U32(0)})},
      {"delete category", pbpacket::WordsRequest(10, {8, 3}), Cat({U32(10), U32(8), U32(8), U32(3)})},
      {"list speed dials", pbpacket::WordsRequest(11, {}), Cat({U32(11), U32(0)})},
      // Five UTF-8 bytes: 25 bytes in all, length field 17, no NUL, no pad.
      {"add category", pbpacket::CategoryWriteRequest(8, 0, "Hello"),
       Cat({U32(8), U32(17), U32(8), U32(0), U32(5), Z("Hello")})},
      {"rename category", pbpacket::CategoryWriteRequest(9, 4, "\xEA\xB0\x80\xEC\xA1\xB1"),
       Cat({U32(9), U32(18), U32(8), U32(4), U32(6), Z("\xEA\xB0\x80\xEC\xA1\xB1")})},
      {"rename to empty", pbpacket::CategoryWriteRequest(9, 4, ""),
       Cat({U32(9), U32(12), U32(8), U32(4), U32(0)})},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(PhonebookPacket, ContactPackets) {
  // The empty packet is the header alone.
  EXPECT_EQ(pbpacket::ContactPacket(0, 0, {}), Cat({U32(0), U32(12), U32(1), U32(0), U32(0)}));

  // One three-letter first name: 44 bytes, length field 36.
  std::string ann("Ann", 4);
  pbpacket::PropertyRef one[] = {Str("FirstName", ann)};
  EXPECT_EQ(pbpacket::ContactPacket(0, 0, one),
            Cat({U32(0), U32(36), U32(1), U32(0), U32(1), U32(10), Z("FirstName", 12), U32(4),
                 Z("Ann", 4)}));

  // Names and values at each of the four alignments (lengths 5, 6, 7, 8 and 4, 5, 6, 7).
  std::string v4("abc", 4), v5("abcd", 5), v6("abcde", 6), v7("abcdef", 7);
  double date = 39753.5;
  Bytes dateBytes(8);
  std::memcpy(dateBytes.data(), &date, 8);
  pbpacket::PropertyRef props[] = {
      Str("Body", v4),      // name 5 -> pad 3, value 4 -> no pad
      Str("Title", v5),     // name 6 -> pad 2, value 5 -> pad 3
      Str("Spouse", v6),    // name 7 -> pad 1, value 6 -> pad 2
      Str("Manager", v7),   // name 8 -> no pad, value 7 -> pad 1
      {"Birthday", dateBytes.data(), 8},
  };
  Bytes body = Cat({U32(5), Z("Body", 8), U32(4), Z("abc", 4),          //
                    U32(6), Z("Title", 8), U32(5), Z("abcd", 8),        //
                    U32(7), Z("Spouse", 8), U32(6), Z("abcde", 8),      //
                    U32(8), Z("Manager", 8), U32(7), Z("abcdef", 8),    //
                    U32(9), Z("Birthday", 12), U32(8), dateBytes});
  EXPECT_EQ(pbpacket::ContactPacket(1, 0x12, props),
            Cat({U32(1), U32(static_cast<uint32_t>(12 + body.size())), U32(1), U32(0x12), U32(5),
                 body}));
}

TEST(PhonebookPacket, SpeedDialEntries) {
  pbpacket::SpeedDialEntry e{5, 0x21, 0x0096001F, u"Mina", u"010-1234"};
  Bytes entry = Cat({U32(5), U32(0x21), U32(0), U32(0x0096001F), Bytes(8, 0),
                     Utf16(u"Mina", 512), Utf16(u"010-1234", 512)});
  ASSERT_EQ(entry.size(), 1048u);
  EXPECT_EQ(pbpacket::SpeedDialRequest(12, e), Cat({U32(12), U32(1048), entry}));
  pbpacket::SpeedDialEntry clear;
  clear.entryId = 0x21;
  Bytes cleared(1048, 0);
  cleared[4] = 0x21;
  EXPECT_EQ(pbpacket::SpeedDialRequest(14, clear), Cat({U32(14), U32(1048), cleared}));

  // A name longer than 255 units keeps 255 and its NUL.
  pbpacket::SpeedDialEntry longName{1, 2, 3, std::u16string(300, u'x'), u""};
  Bytes packet = pbpacket::SpeedDialRequest(13, longName);
  pbpacket::SpeedDialEntry back;
  ASSERT_EQ(pbpacket::ReadSpeedDialEntry(std::span(packet).subspan(8), &back), pbpacket::Error::kOk);
  EXPECT_EQ(back.name, std::u16string(255, u'x'));

  // Phone kind codes and property identifiers.
  const uint32_t ids[] = {0x0096001F, 0x0099001F, 0x009A001F, 0x0097001F, 0x0098001F, 0x009C001F,
                          0x009B001F, 0x009D001F, 0x009E001F, 0x009F001F, 0x00A0001F, 0x00A1001F};
  for (int k = 0; k < 12; ++k) {
    EXPECT_EQ(pbpacket::PropertyIdOfKind(k), ids[k]) << k;
    EXPECT_EQ(pbpacket::KindOfPropertyId(ids[k]), k);
  }
  EXPECT_EQ(pbpacket::PropertyIdOfKind(12), 0xFFFFFFFFu);
  EXPECT_EQ(pbpacket::PropertyIdOfKind(-1), 0xFFFFFFFFu);
  EXPECT_EQ(pbpacket::KindOfPropertyId(0x3A1C001F), -1);
}

TEST(PhonebookPacket, DeviceReplies) {
  EXPECT_EQ(pbpacket::IdReply(9), Cat({U32(4), U32(9)}));
  EXPECT_EQ(pbpacket::ErrorReply(0x80070018), Cat({U32(0), U32(0x80070018)}));
  EXPECT_EQ(pbpacket::EntryIdListReply({3, 1}), Cat({U32(12), U32(2), U32(3), U32(1)}));
  EXPECT_EQ(pbpacket::EntryIdListReply({}), Cat({U32(4), U32(0)}));
  EXPECT_EQ(pbpacket::CategoryListReply({{1, "Work"}, {2, "Family"}}),
            Cat({U32(36), U32(2), U32(1), U32(5), Z("Work", 8), U32(2), U32(7), Z("Family", 8)}));
  EXPECT_EQ(pbpacket::ContactReply(7, {devrec::Property::String("LastName", "Kim")}),
            Cat({U32(32), U32(7), U32(1), U32(9), Z("LastName", 12), U32(4), Z("Kim", 4)}));
  EXPECT_EQ(pbpacket::ContactReply(7, {}), Cat({U32(8), U32(7), U32(0)}));
  EXPECT_EQ(pbpacket::SpeedDialListReply({}), Cat({U32(4), U32(0)}));
}

TEST(PhonebookPacket, ReplyReaders) {
  std::vector<uint32_t> ids;
  EXPECT_EQ(pbpacket::ReadEntryIdList(Cat({U32(2), U32(3), U32(1)}), &ids), pbpacket::Error::kOk);
  EXPECT_EQ(ids, (std::vector<uint32_t>{3, 1}));

  std::vector<pbpacket::Category> cats;
  // Names of 5, 6, 7 and 8 bytes with their NULs.
  Bytes list = Cat({U32(0), U32(1), U32(5), Z("Work", 8), U32(2), U32(6), Z("Other", 8), U32(3),
                    U32(7), Z("Family", 8), U32(4), U32(8), Z("Friends", 8)});
  ASSERT_EQ(pbpacket::ReadCategoryList(list, &cats), pbpacket::Error::kOk);
  ASSERT_EQ(cats.size(), 4u);
  EXPECT_EQ(cats[0].name, "Work");
  EXPECT_EQ(cats[2].id, 3u);
  EXPECT_EQ(cats[3].name, "Friends");

  std::vector<pbpacket::SpeedDialEntry> dials;
  EXPECT_EQ(pbpacket::ReadSpeedDialList(U32(0), &dials), pbpacket::Error::kOk);
  EXPECT_TRUE(dials.empty());
  Bytes one = pbpacket::SpeedDialListReply({{2, 8, 0x0099001F, u"A", u"1"}});
  ASSERT_EQ(pbpacket::ReadSpeedDialList(std::span(one).subspan(4), &dials), pbpacket::Error::kOk);
  ASSERT_EQ(dials.size(), 1u);
  EXPECT_EQ(dials[0].number, 2u);
  EXPECT_EQ(dials[0].entryId, 8u);
  EXPECT_EQ(dials[0].propertyId, 0x0099001Fu);

  uint32_t id = 0;
  std::vector<devrec::RawEntry> props;
  ASSERT_EQ(pbpacket::ReadContactReply(Cat({U32(7), U32(0)}), &id, &props), pbpacket::Error::kOk);
  EXPECT_EQ(id, 7u);
  EXPECT_TRUE(props.empty());
  ASSERT_EQ(pbpacket::ReadContactReply(
                Cat({U32(7), U32(1), U32(9), Z("LastName", 12), U32(4), Z("Kim", 4)}), &id, &props),
            pbpacket::Error::kOk);
  ASSERT_EQ(props.size(), 1u);
  EXPECT_EQ(devrec::ValueAsString(props[0]), "Kim");
}

TEST(PhonebookPacket, LyingRepliesFail) {
  std::vector<uint32_t> ids;
  std::vector<pbpacket::Category> cats;
  std::vector<pbpacket::SpeedDialEntry> dials;
  std::vector<devrec::RawEntry> props;
  uint32_t id = 0;
  using pbpacket::Error;
  // Counts beyond the body, lengths past its end, bodies too short for their first word.
  EXPECT_EQ(pbpacket::ReadEntryIdList(Cat({U32(3), U32(1), U32(2)}), &ids), Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadEntryIdList(Z("ab"), &ids), Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadEntryIdList(U32(0x40000001), &ids), Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadCategoryList(Cat({U32(0), U32(1), U32(9), Z("Work", 8)}), &cats),
            Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadCategoryList(Cat({U32(0), U32(1)}), &cats), Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadCategoryList(Z("a"), &cats), Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadSpeedDialList(Cat({U32(1), Bytes(1047, 0)}), &dials), Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadContactReply(Z("ab"), &id, &props), Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadContactReply(Cat({U32(7), U32(0), U32(40), Z("LastName", 12)}), &id,
                                       &props),
            Error::kBadProperty);
  EXPECT_EQ(pbpacket::ReadFirstWord(Z("abc"), &id), Error::kTruncated);
  EXPECT_TRUE(ids.empty() && cats.empty() && dials.empty());

  // Requests as the device reads them.
  pbpacket::ContactWrite w;
  EXPECT_EQ(pbpacket::ReadContactWrite(Cat({U32(1), U32(0)}), &w), Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadContactWrite(Cat({U32(2), U32(0), U32(0)}), &w), Error::kBadKind);
  EXPECT_EQ(pbpacket::ReadContactWrite(Cat({U32(1), U32(0), U32(1)}), &w), Error::kBadProperty);
  std::string name;
  EXPECT_EQ(pbpacket::ReadCategoryWrite(Cat({U32(8), U32(0), U32(6), Z("abc")}), &id, &name),
            Error::kTruncated);
  EXPECT_EQ(pbpacket::ReadCategoryWrite(Cat({U32(1), U32(0), U32(0)}), &id, &name),
            Error::kBadKind);
  pbpacket::SpeedDialEntry e;
  EXPECT_EQ(pbpacket::ReadSpeedDialEntry(Bytes(1047, 0), &e), Error::kTruncated);
}

}  // namespace
