// The message and SIM mappings on their own: SUIDs from identifier texts, folder names and
// codes, the mixed folder of the ID family, the order of a saved message's properties, the
// SIM contact's numbers both ways and the free position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/DeviceRecordWM.h"
#include "tables/contacts/DataTableWMSIM.h"
#include "tables/messaging/MessageMapping.h"
#include "wincompat/testhooks.h"

namespace qwb {
namespace {

std::vector<std::string> Names(const CPropertyList& list) {
  std::vector<std::string> names;
  for (const PropertyNode* n = list.head(); n; n = n->next) names.push_back(n->name);
  return names;
}

// A property map from a reply built by the shared writer.
void Decode(DWORD kind, const std::vector<devrec::Property>& props, CPropertyMap* map) {
  std::vector<uint8_t> reply = devrec::EncodeReply(0, props);
  ASSERT_EQ(DecodeDeviceRecord(kind, reply.data(), static_cast<DWORD>(reply.size()), map),
            kDecodeOk);
}

std::u16string Str(const FieldMap& f, const char16_t* key) { return ReadFieldString(f, key, u"-"); }

TEST(MessageMapping, StreamSuidFromIdentifierText) {
  struct {
    std::u16string text;
    DWORD suid;
  } cases[] = {
      {u"2008110300000000", 0},              // 16 characters
      {u"20081103111111111", 2722435344u},   // v = 170152209, times 16
      {u"20081103000000001", 16},
      {u"20081103100000000", 1u << 31},      // d8 moves through every shift
      {u"XXXXXXXX0000000A1", 16},            // a non-digit reads as 0
      {u"20081103999999999xyz", 0},          // overlapping fields, computed below
  };
  // 9,9,9,9,9,9,9,9,9: the OR joins overlapping bits.
  uint32_t v = 9;
  for (uint32_t shift : {4u, 16u, 8u, 16u, 4u, 16u, 16u, 16u}) v = v * shift | 9;
  cases[5].suid = v * 16;
  for (const auto& c : cases)
    EXPECT_EQ(StreamMessageSuid(c.text), c.suid) << std::string(c.text.begin(), c.text.end());
}

TEST(MessageMapping, FoldersAndFamilies) {
  const std::pair<DWORD, const char16_t*> names[] = {
      {1, u"Inbox"}, {2, u"Draft"}, {3, u"Outbox"}, {4, u"Sent"}, {0, u"Inbox"}, {9, u"Inbox"}};
  for (auto [code, name] : names) EXPECT_EQ(std::u16string(FolderName(code)), name) << code;
  const std::pair<const char16_t*, DWORD> codes[] = {
      {u"Inbox", 1}, {u"Outbox", 3}, {u"Draft", 2}, {u"Sent", 4},
      {u"inbox", 2}, {u"SENT", 2},   {u"", 2},      {u"Trash", 2}};
  for (auto [name, code] : codes)
    EXPECT_EQ(SmsFolderCode(name), code) << std::string(name, name + std::char_traits<char16_t>::length(name));
  const MessageFamily families[] = {MessageFamily::kStream, MessageFamily::kEntryId,
                                    MessageFamily::kNone,   MessageFamily::kStream,
                                    MessageFamily::kId,     MessageFamily::kId,
                                    MessageFamily::kEntryId};
  for (int type = 0; type < 7; ++type) EXPECT_EQ(MessageFamilyOf(type), families[type]) << type;
}

TEST(MessageMapping, StoreRecordsToColumns) {
  wincompat::SetTimeZoneRuleForTesting("UTC0");
  struct {
    std::vector<devrec::Property> props;
    DWORD folder;
    bool idFamily;
    std::u16string wantFolder, wantPath;
  } cases[] = {
      // The ID family's mixed folder: status 1 or none is Inbox, anything else Sent.
      {{}, 2, true, u"Inbox", u"/Folder1"},
      {{devrec::Property::Integer("PR_MSG_STATUS", 1)}, 2, true, u"Inbox", u"/Folder1"},
      {{devrec::Property::Integer("PR_MSG_STATUS", 3)}, 2, true, u"Sent", u"/Folder1"},
      {{devrec::Property::Integer("PR_MSG_STATUS", 3)}, 2, false, u"Draft", u"-"},
      {{}, 4, true, u"Sent", u"-"},
      {{}, 7, false, u"Inbox", u"-"},
  };
  for (const auto& c : cases) {
    CPropertyMap map;
    Decode(4, c.props, &map);
    FieldMap f;
    MessageRecordToFields(map, 5, c.folder, c.idFamily, &f);
    EXPECT_EQ(Str(f, u"FOLDER"), c.wantFolder) << c.folder << c.idFamily;
    EXPECT_EQ(Str(f, u"MY_FOLDER_PATH"), c.wantPath);
    EXPECT_EQ(ReadFieldUI4(f, u"SUID", 0), 5u);
    EXPECT_EQ(ReadFieldI4(f, u"MY_FOLDER", 0), -1);
    EXPECT_FALSE(HasField(f, u"SENDER")) << "absent properties give no column";
  }

  // The sender's name is shown nowhere; the date moves to the PC's zone.
  wincompat::SetTimeZoneRuleForTesting("KST-9");
  CPropertyMap map;
  Decode(4,
         {devrec::Property::String("PR_SENDER_NAME", "Kim"),
          devrec::Property::String("PR_SENDER_EMAIL_ADDRESS", "010-1"),
          devrec::Property::String("PR_SUBJECT", "\xF0\x9F\x98\x80"),
          devrec::Property::Date("PR_MESSAGE_DELIVERY_TIME", 39753.25)},
         &map);
  FieldMap f;
  MessageRecordToFields(map, 1, 1, false, &f);
  EXPECT_EQ(Str(f, u"SENDER"), u"010-1");
  EXPECT_EQ(Str(f, u"CONTENT"), u"\U0001F600");
  EXPECT_DOUBLE_EQ(ReadFieldDate(f, u"CREATE_DATE", 0), 39753.25 + 9.0 / 24);
  for (const auto& [key, value] : f) EXPECT_NE(Str(f, key.c_str()), u"Kim");

  // Stream records: Sent shows the other party as the receiver, the others as the sender.
  devrec::StreamMessage m{{2008, 11, 1, 3, 9, 41, 7, 0}, u"010-5", u"hi", u"20081103000000001",
                          0, u"010-9"};
  FieldMap in, sent;
  StreamRecordToFields(m, 1, &in);
  StreamRecordToFields(m, 4, &sent);
  EXPECT_EQ(Str(in, u"SENDER"), u"010-5");
  EXPECT_EQ(Str(in, u"RECEIVER"), u"010-9");
  EXPECT_EQ(Str(sent, u"SENDER"), u"-");
  EXPECT_EQ(Str(sent, u"RECEIVER"), u"010-5");
  EXPECT_EQ(ReadFieldUI4(in, u"SUID", 0), 16u);
  EXPECT_DOUBLE_EQ(ReadFieldDate(in, u"CREATE_DATE", 0), 39755 + (9 * 3600 + 41 * 60 + 7) / 86400.0);
  wincompat::SetTimeZoneRuleForTesting("");
}

TEST(MessageMapping, SavedMessageProperties) {
  wincompat::SetTimeZoneRuleForTesting("KST-9");
  FieldMap f;
  PutField(f, u"RECEIVER", Variant::Str(u"010-1"));
  PutField(f, u"CONTENT", Variant::Str(u"x"));
  PutField(f, u"FOLDER", Variant::Str(u"Outbox"));
  PutField(f, u"CREATE_DATE", Variant::Date(39753.5));
  CPropertyList list(4);
  EXPECT_EQ(MessageFieldsToRecord(f, &list), 3u);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"PR_EMAIL_ADDRESS", "PR_SUBJECT",
                                                    "PR_MESSAGE_DELIVERY_TIME",
                                                    "PR_LAST_MODIFICATION_TIME"}));
  double utc = 0;
  std::memcpy(&utc, list.head()->next->next->value, 8);
  EXPECT_DOUBLE_EQ(utc, 39753.5 - 9.0 / 24);
  // Nothing but the two dates (of 0) for an empty item, and the Draft folder.
  CPropertyList empty(4);
  EXPECT_EQ(MessageFieldsToRecord(FieldMap{}, &empty), 2u);
  EXPECT_EQ(empty.count(), 2u);
  wincompat::SetTimeZoneRuleForTesting("");
}

TEST(SimMapping, NumbersBothWays) {
  // Read: positions follow the property numbers; the count is of numbers present.
  CPropertyMap map;
  Decode(6,
         {devrec::Property::String("Name", "Kim"), devrec::Property::String("TelNumber", "1"),
          devrec::Property::Integer("AdditionalNumCount", 1),
          devrec::Property::String("AdditionalNum1", "3"),
          devrec::Property::Integer("EmailCount", 1), devrec::Property::String("Email0", "k@x")},
         &map);
  FieldMap f;
  CDataTableWMSIM::SimPropertiesToFields(map, 9, &f);
  EXPECT_EQ(Str(f, u"TEL_NUM_0"), u"1");
  EXPECT_EQ(Str(f, u"TEL_NUM_1"), u"-");
  EXPECT_EQ(Str(f, u"TEL_NUM_2"), u"3");
  EXPECT_EQ(Str(f, u"TEL_TYPE_2"), u"Mobile.Private");
  EXPECT_EQ(ReadFieldI4(f, u"TEL_COUNT", 0), 2);
  EXPECT_EQ(Str(f, u"EMAIL_TYPE_0"), u"private");
  EXPECT_EQ(ReadFieldUI4(f, u"SUID", 0), 9u);

  // A count of 0 hides the additional numbers; one-call records always have TEL_NUM_0.
  CPropertyMap zero;
  Decode(6, {devrec::Property::Integer("AdditionalNumCount", 0),
             devrec::Property::String("AdditionalNum0", "2")},
         &zero);
  FieldMap z;
  CDataTableWMSIM::SimPropertiesToFields(zero, 1, &z);
  EXPECT_EQ(ReadFieldI4(z, u"TEL_COUNT", -1), 0);
  FieldMap r;
  CDataTableWMSIM::SimRecordToFields({4, u"Lee", u"", u"", u""}, &r);
  EXPECT_EQ(ReadFieldI4(r, u"TEL_COUNT", 0), 1);
  EXPECT_EQ(ReadFieldI4(r, u"SUID", 0), 4);
  EXPECT_FALSE(HasField(r, u"EMAIL_COUNT"));

  // Write: the count twice, 0 first; TEL_NUM_4 is not sent.
  FieldMap item;
  PutField(item, u"DISPLAY_NAME", Variant::Str(u"Kim"));
  PutField(item, u"TEL_COUNT", Variant::I4(5));
  for (const char16_t* n : {u"TEL_NUM_0", u"TEL_NUM_1", u"TEL_NUM_2", u"TEL_NUM_4"})
    PutField(item, n, Variant::Str(u"5"));
  CPropertyList list(6);
  CDataTableWMSIM::SimFieldsToProperties(item, &list);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Name", "TelNumber", "AdditionalNumCount",
                                                    "AdditionalNum0", "AdditionalNum1",
                                                    "AdditionalNumCount"}));
  int32_t last = 0;
  const PropertyNode* n = list.head();
  while (n->next) n = n->next;
  std::memcpy(&last, n->value, 4);
  EXPECT_EQ(last, 2);
}

TEST(SimMapping, FreePosition) {
  struct {
    std::vector<DWORD> used;
    DWORD min, want;
  } cases[] = {{{1, 2, 5}, 1, 3}, {{2, 3}, 1, 1}, {{}, 1, 1},  {{5, 1, 2, 3, 4}, 1, 6},
               {{1, 2}, 3, 3},    {{3, 3}, 3, 4}, {{0}, 0, 1}};
  for (const auto& c : cases) EXPECT_EQ(CDataTableWMSIM::FreePosition(c.used, c.min), c.want);
}

}  // namespace
}  // namespace qwb
