// The SMS and SIM phonebook tables end to end: host -> CoCreateInstance -> component ->
// librapi -> RAPI2 -> in-process emulator, on a phone of each model family. The emulator's
// stores are seeded and checked directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "emulator/DeviceRegistry.h"
#include "emulator/MessageStore.h"
#include "emulator/SimStore.h"
#include "emulator/Text.h"
#include "host/Component.h"
#include "tests/support/TableE2E.h"
#include "host/HostObjects.h"
#include "link/DeviceRecord.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"
#include "wincompat/testhooks.h"

namespace {

using namespace qwbtest;
std::u16string Text(IItem* item, const char16_t* column) { return Text16(item, column); }

using devrec::Property;

// What a host compares of a message.
struct Shown {
  std::u16string folder, sender, receiver, content;
  DATE date;
  auto operator<=>(const Shown&) const = default;
};
Shown ShownOf(IItem* item) {
  Variant date = Get(item, u"CREATE_DATE");
  EXPECT_EQ(date.vt(), VT_DATE);
  // Stream records carry whole seconds of the phone's clock; compare to the second.
  double rounded = std::round(date.Get().date * 86400.0) / 86400.0;
  Variant sender = Get(item, u"SENDER");
  return {Text(item, u"FOLDER"), sender.vt() == VT_EMPTY ? u"" : Text(item, u"SENDER"),
          Text(item, u"RECEIVER"), Text(item, u"CONTENT"), rounded};
}

const std::u16string kEmoji = u"\U0001F600\U0001F44D";  // two surrogate pairs
const std::u16string kKorean = u"\uC548\uB155\uD558\uC138\uC694";  // 안녕하세요
std::u16string Text160() {
  std::u16string s = u"160: ";
  while (s.size() < 160) s += u"abcdefghij"[s.size() % 10];
  return s;
}

class MessagingE2E : public TableE2E<MessagingE2E> {
 protected:
  static void SetUpTestSuite() { StartPhone("empty", "Aster W1"); }

  void SetUp() override {
    Emu().Control(R"({"cmd":"clear"})");
    wmemu::MessageStore messages(Emu().image());  // the stores make their tables
    wmemu::SimStore sim(Emu().image());
    Emu().image().Transaction([] {
      Emu().image().Exec(
          "DELETE FROM messages; DELETE FROM sim_messages; DELETE FROM sim_contacts;"
          "DELETE FROM meta WHERE key = 'sim_capacity';");
    });
    Emu().registry().SetDword(wmemu::kHkeyCurrentUser, u"System\\MDS\\Setting", u"LockSet", 0);
    // The stream family reports the phone's own clock (UTC+9); the PC is in the same zone.
    wincompat::SetTimeZoneRuleForTesting("KST-9");
  }
  void TearDown() override { wincompat::SetTimeZoneRuleForTesting(""); }

  // A fresh device data object on a phone of `model`, and its table `id`.
  void Open(const char16_t* model, DATATABLE_SUID id) {
    table_ = nullptr;
    Emu().registry().SetString(wmemu::kHkeyLocalMachine, u"Ident", u"OrigName", model);
    table_ = host_.Connect(id);
    ASSERT_TRUE(table_);
  }

  static uint32_t SeedSms(uint32_t folder, uint16_t state, const std::string& from,
                          const std::string& to, const std::u16string& text, double utc,
                          int status = 1) {
    std::vector<Property> props = {Property::String("PR_SUBJECT", wmemu::Utf8(text)),
                                   Property::Date("PR_MESSAGE_DELIVERY_TIME", utc),
                                   Property::Integer("PR_MSG_STATUS", status)};
    if (!from.empty()) props.push_back(Property::String("PR_SENDER_EMAIL_ADDRESS", from));
    if (!to.empty()) props.push_back(Property::String("PR_EMAIL_ADDRESS", to));
    std::vector<devrec::RawEntry> raw;
    for (const auto& p : props) raw.push_back({p.name, devrec::LookupType(4, p.name), p.value});
    return wmemu::MessageStore(Emu().image()).Add(4, folder, state, raw);
  }

  ULONG Count() {
    ULONG n = 12345;
    EXPECT_EQ(table_->GetItemCount(nullptr, 0, DCADT_SMS, &n), S_OK);
    return n;
  }
};

// The same store listed by every family: inbox and sent messages show the same columns;
// the folders each family lists, SIM messages after the store's, SUIDs by family.
TEST_F(MessagingE2E, EveryFamilyListsTheSameMessages) {
  const double t0 = At(2008, 10, 3, 9, 41, 7);
  std::vector<uint32_t> ids = {
      SeedSms(1, 0, "010-5555-0101", "010-2048-7731", kKorean + u" " + kEmoji, t0),
      SeedSms(4, 0, "", "010-5555-0102", Text160(), t0 + 0.5),
      SeedSms(1, 2, "+447700900123", "010-2048-7731", u"unread", t0 + 1.25),
      SeedSms(1, 1, "010-5555-0199", "010-2048-7731", u"hidden", t0 + 2),
      SeedSms(2, 0, "", "010-5555-0103", u"a draft", t0 + 3, 3),
      SeedSms(3, 0, "", "010-5555-0104", u"waiting", t0 + 4, 4)};
  wmemu::MessageStore sims(Emu().image());
  sims.PutSim(2, {"010-5555-0105", "SIM \xF0\x9F\x98\x80", At(2007, 12, 1, 3, 20)});
  sims.PutSim(7, {"010-5555-0106", "second", At(2007, 12, 2, 3, 20)});

  const std::set<Shown> common = [&] {
    Open(u"Aster W1", DTID_MESSAGE);
    std::set<Shown> s;
    for (auto& item : ListAll())
      if (IdOf(item.Get()) < 0x100010) {
        Shown shown = ShownOf(item.Get());
        if (shown.folder == u"Inbox" || shown.folder == u"Sent") s.insert(shown);
      }
    return s;
  }();
  ASSERT_EQ(common.size(), 3u);
  EXPECT_EQ(common.rbegin()->content.size(), 160u);  // Sent sorts last
  EXPECT_TRUE(std::any_of(common.begin(), common.end(), [](const Shown& s) {
    return s.content == kKorean + u" " + kEmoji && s.sender == u"010-5555-0101" &&
           s.receiver == u"010-2048-7731" && s.folder == u"Inbox";
  }));

  struct Family {
    const char16_t* model;
    std::vector<std::u16string> folders;  // of the store messages, in listing order
    bool sim;
  } families[] = {
      {u"Aster W1", {u"Inbox", u"Inbox", u"Draft", u"Outbox", u"Sent"}, true},
      {u"Aster S2", {u"Inbox", u"Inbox", u"Draft", u"Outbox", u"Sent"}, true},
      {u"Hanul HL-300", {u"Inbox", u"Inbox", u"Sent", u"Sent"}, false},
      {u"Hanul HK-400", {u"Inbox", u"Inbox", u"Sent", u"Sent"}, false},
      {u"Hanul HD-100", {u"Inbox", u"Inbox", u"Sent"}, false},
      {u"Hanul HS-200", {u"Inbox", u"Inbox", u"Sent"}, false},
      {u"Aster Pad M7", {}, true},
  };
  for (const Family& f : families) {
    SCOPED_TRACE(wmemu::Utf8(f.model));
    Open(f.model, DTID_MESSAGE);
    auto items = ListAll();
    const size_t sim = f.sim ? 2 : 0;
    ASSERT_EQ(items.size(), f.folders.size() + sim);
    EXPECT_EQ(Count(), f.folders.size() + sim);
    std::set<SUID> suids;
    for (size_t i = 0; i < f.folders.size(); ++i) {
      IItem* item = items[i].Get();
      EXPECT_EQ(Text(item, u"FOLDER"), f.folders[i]) << i;
      EXPECT_EQ(Text(item, u"TYPE"), u"SMS");
      EXPECT_EQ(Text(item, u"MODE"), u"Home");
      EXPECT_EQ(Get(item, u"MY_FOLDER").Get().lVal, -1);
      suids.insert(IdOf(item));
      Shown shown = ShownOf(item);
      // ID family: the draft (status 3) in its mixed folder shows as Sent under /Folder1.
      if (Text(item, u"CONTENT") == u"a draft" && f.folders.size() == 4) {
        EXPECT_EQ(Text(item, u"MY_FOLDER_PATH"), u"/Folder1");
      } else if (shown.folder == u"Inbox" || shown.folder == u"Sent") {
        EXPECT_TRUE(common.count(shown)) << i;
      }
    }
    EXPECT_EQ(suids.size(), f.folders.size()) << "SUIDs are distinct";
    if (f.folders.size() == 5) {  // entry-ID family: the store's ids
      EXPECT_EQ(IdOf(items[0].Get()), SUID(ids[0]));
      EXPECT_EQ(IdOf(items[4].Get()), SUID(ids[1]));
    }
    if (f.sim) {
      IItem* first = items[f.folders.size()].Get();
      EXPECT_EQ(IdOf(first), 0x100011);  // slot 2
      EXPECT_EQ(Text(first, u"CONTENT"), u"SIM \U0001F600");
      EXPECT_EQ(Text(first, u"SENDER"), u"010-5555-0105");
      EXPECT_EQ(Text(first, u"FOLDER"), u"Inbox");
      EXPECT_EQ(Get(first, u"CREATE_DATE").Get().date, At(2007, 12, 1, 12, 20));
      EXPECT_EQ(IdOf(items.back().Get()), 0x100016);  // slot 7
    }
    EXPECT_FALSE(Next());
  }
  EXPECT_TRUE(SawLine("[CDataTableWMMessage::GetAllEntryID]DevCeMessageList hr=0x0"));
  EXPECT_TRUE(SawLine("[CDataTableWMMessage::GetItemData]DevCeGetMessage hr=0x0"));
  EXPECT_TRUE(SawLine("[CDataTableWMMessage::GetSIMMessageInfo]DevCeMessageSIMInfo hr=0x0"));
  EXPECT_TRUE(SawLine("[CDataTableWMMessage::NextItem]DevCeMessageSIMGet hr=0x80070490"));
}

TEST_F(MessagingE2E, SavingAndSendingStoreTheMessageOnThePhone) {
  Open(u"Aster W1", DTID_MESSAGE);
  ComPtr<IItem> item;
  ASSERT_EQ(table_->NewItem(DCADT_SMS, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()), S_OK);
  const std::u16string text = Text160().substr(0, 155) + kEmoji + kKorean.substr(0, 1);
  Set(item.Get(), u"RECEIVER", Variant::Str(u"010-5555-0101"));
  Set(item.Get(), u"CONTENT", Variant::Str(text));
  Set(item.Get(), u"FOLDER", Variant::Str(u"Draft"));
  Set(item.Get(), u"CREATE_DATE", Variant::Date(At(2008, 11, 2, 18, 30)));
  SUID suid = static_cast<SUID>(77);
  ASSERT_EQ(table_->CreateItem(item.Get(), &suid), S_OK);
  EXPECT_EQ(suid, 77) << "saving reports no SUID";
  EXPECT_TRUE(SawLine("[QWBDCAWM]CDataTableWMMessage::CreateItem(+)\n"));

  wmemu::MessageStore store(Emu().image());
  auto drafts = store.List(4, 2);
  ASSERT_EQ(drafts.size(), 1u);
  auto sent = ListAll();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(Text(sent[0].Get(), u"CONTENT"), text);
  EXPECT_EQ(Text(sent[0].Get(), u"CONTENT").size(), 160u);
  EXPECT_EQ(Text(sent[0].Get(), u"FOLDER"), u"Draft");
  EXPECT_EQ(Get(sent[0].Get(), u"CREATE_DATE").Get().date, At(2008, 11, 2, 18, 30));

  // A folder name in another case is no folder: the message goes to Draft (2).
  Set(item.Get(), u"FOLDER", Variant::Str(u"inbox"));
  ASSERT_EQ(table_->CreateItem(item.Get(), nullptr), S_OK);
  EXPECT_EQ(store.List(4, 2).size(), 2u);
  EXPECT_EQ(store.List(4, 1).size(), 0u);

  // Sending lands in Sent; "endSync" in any case does nothing.
  BStr send(u"send");
  ASSERT_EQ(table_->Execute(send.Get(), item.Get(), nullptr), S_OK);
  EXPECT_EQ(store.List(4, 4).size(), 1u);
  BStr end(u"ENDSYNC");
  ASSERT_EQ(table_->Execute(end.Get(), item.Get(), nullptr), S_OK);
  EXPECT_EQ(store.List(4, 4).size(), 1u);

  // A message without a recipient is refused by the phone: module error 10005.
  ComPtr<IItem> empty;
  ASSERT_EQ(table_->NewItem(DCADT_SMS, SUID_NULL, SUID_NULL, empty.ReleaseAndGetAddressOf()), S_OK);
  Set(empty.Get(), u"CONTENT", Variant::Str(u"to nobody"));
  EXPECT_EQ(table_->Execute(send.Get(), empty.Get(), nullptr), HRESULT(0x80042715));
  std::string error = TakeErrorText();
  EXPECT_NE(error.find("CDataTableWMMessage::Execute"), std::string::npos) << error;
  EXPECT_NE(error.find("DataTableWMMessage.cpp"), std::string::npos) << error;

  // Other families keep nothing the host saves, but send.
  Open(u"Hanul HD-100", DTID_MESSAGE);
  ASSERT_EQ(table_->NewItem(DCADT_SMS, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()), S_OK);
  Set(item.Get(), u"RECEIVER", Variant::Str(u"010-5555-0101"));
  Set(item.Get(), u"CONTENT", Variant::Str(kKorean));
  ASSERT_EQ(table_->CreateItem(item.Get(), nullptr), S_OK);
  EXPECT_EQ(store.List(4, 2).size(), 2u);
  ASSERT_EQ(table_->Execute(send.Get(), item.Get(), nullptr), S_OK);
  auto listed = ListAll();
  ASSERT_EQ(listed.size(), 2u);  // the two sent ones (the stream family lists Inbox and Sent)
  EXPECT_EQ(Text(listed[1].Get(), u"CONTENT"), kKorean);
  EXPECT_EQ(Text(listed[1].Get(), u"RECEIVER"), u"010-5555-0101");
}

TEST_F(MessagingE2E, ListingFailures) {
  SeedSms(1, 0, "010-5555-0101", "010-2048-7731", u"one", At(2008, 1, 1));
  SeedSms(1, 0, "010-5555-0101", "010-2048-7731", u"two", At(2008, 1, 2));
  struct {
    const char16_t* model;
    const char* fault;
    HRESULT want;
  } cases[] = {
      {u"Aster W1", R"({"cmd":"fail","name":"DevCeMessageList","count":1,"hresult":"0x88000207"})",
       HRESULT(0x80042F0D)},
      {u"Aster W1", R"({"cmd":"fail","name":"DevCeMessageList","count":1,"hresult":"0x88000064"})",
       HRESULT(0x80042F0D)},
      {u"Hanul HL-300",
       R"({"cmd":"fail","name":"DevCeMessageList","count":1,"hresult":"0x80004005"})", E_FAIL},
  };
  for (const auto& c : cases) {
    Open(c.model, DTID_MESSAGE);
    Emu().Control(c.fault);
    EXPECT_EQ(table_->ListItemsAllBegin(), c.want);
    EXPECT_NE(TakeErrorText().find("DataTableWMMessage"), std::string::npos);
    ULONG n = 5;
    EXPECT_EQ(table_->GetItemCount(nullptr, 0, DCADT_SMS, &n), S_OK) << "the fault has passed";
    EXPECT_EQ(n, 2u);
  }

  // A locked message centre (ID family) refuses the listing: module error 50001.
  Emu().registry().SetDword(wmemu::kHkeyCurrentUser, u"System\\MDS\\Setting", u"LockSet", 1);
  Open(u"Hanul HK-400", DTID_MESSAGE);
  EXPECT_EQ(table_->ListItemsAllBegin(), HRESULT(0x8004C351));
  ULONG n = 5;
  EXPECT_EQ(table_->GetItemCount(nullptr, 0, DCADT_SMS, &n), HRESULT(0x8004C351));
  EXPECT_EQ(n, 0u);
  Emu().registry().SetDword(wmemu::kHkeyCurrentUser, u"System\\MDS\\Setting", u"LockSet", 0);

  // A failing read ends the listing; a second listing starts again from the first.
  Open(u"Aster W1", DTID_MESSAGE);
  EXPECT_FALSE(Next(E_FAIL)) << "not listed yet";
  ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
  ASSERT_TRUE(Next());
  Emu().Control(R"({"cmd":"fail","name":"DevCeGetMessage","count":1,"hresult":"0x80004005"})");
  Next(E_FAIL);
  Next(E_FAIL);
  auto again = ListAll();
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(Text(again[0].Get(), u"CONTENT"), u"one");
}

// ---- SIM phonebook --------------------------------------------------------------------------

class SimE2E : public MessagingE2E {
 protected:
  static wmemu::SimStore Sim() { return wmemu::SimStore(Emu().image()); }
  static void SeedContact(uint32_t position, const std::string& name, const std::string& number,
                          const std::string& second = "", const std::string& email = "") {
    wmemu::SimContact c;
    c.name = name;
    c.number = number;
    if (!second.empty()) c.additional.push_back(second);
    c.email = email;
    ASSERT_EQ(Sim().Add(c, position), position);
  }
  ComPtr<IItem> NewContact(const std::u16string& name, std::vector<std::u16string> numbers,
                           const std::u16string& email = u"") {
    ComPtr<IItem> item;
    EXPECT_EQ(table_->NewItem(DCADT_PHONEBOOK_SIM, SUID_NULL, SUID_NULL,
                              item.ReleaseAndGetAddressOf()),
              S_OK);
    Set(item.Get(), u"DISPLAY_NAME", Variant::Str(name));
    Set(item.Get(), u"TEL_COUNT", Variant::I4(LONG(numbers.size())));
    for (size_t i = 0; i < numbers.size(); ++i)
      Set(item.Get(), (u"TEL_NUM_" + std::u16string(1, char16_t(u'0' + i))).c_str(),
          Variant::Str(numbers[i]));
    if (!email.empty()) {
      Set(item.Get(), u"EMAIL_COUNT", Variant::I4(1));
      Set(item.Get(), u"EMAIL_ADDR_0", Variant::Str(email));
    }
    return item;
  }
  // (SUID, name, numbers..., e-mail) of each listed contact.
  std::vector<std::vector<std::u16string>> Contacts() {
    std::vector<std::vector<std::u16string>> out;
    for (auto& item : ListAll()) {
      std::vector<std::u16string> row = {wmemu::Utf16(std::to_string(IdOf(item.Get()))),
                                         Text(item.Get(), u"DISPLAY_NAME")};
      LONG count = Get(item.Get(), u"TEL_COUNT").Get().lVal;
      for (LONG i = 0; i < count; ++i) {
        std::u16string n(1, char16_t(u'0' + i));
        row.push_back(Text(item.Get(), (u"TEL_NUM_" + n).c_str()));
        EXPECT_EQ(Text(item.Get(), (u"TEL_TYPE_" + n).c_str()), u"Mobile.Private");
      }
      Variant email = Get(item.Get(), u"EMAIL_ADDR_0");
      if (email.vt() == VT_BSTR) row.push_back(Text(item.Get(), u"EMAIL_ADDR_0"));
      out.push_back(row);
    }
    return out;
  }
};

TEST_F(SimE2E, OneCallAndPerContactListingsAgree) {
  SeedContact(1, "\xEA\xB9\x80\xEB\xAF\xBC\xEC\x88\x98", "010-5555-0101", "", "minsu@example.kr");
  SeedContact(2, "Emma \xF0\x9F\x98\x80", "+447700900123", "02-555-0102");
  SeedContact(5, "Taxi", "1333");
  const std::vector<std::vector<std::u16string>> want = {
      {u"1", u"\uAE40\uBBFC\uC218", u"010-5555-0101", u"minsu@example.kr"},
      {u"2", u"Emma \U0001F600", u"+447700900123", u"02-555-0102"},
      {u"5", u"Taxi", u"1333"}};
  for (const char16_t* model : {u"Hanul HD-100", u"Aster W1", u"Hanul HL-300"}) {
    SCOPED_TRACE(wmemu::Utf8(model));
    Open(model, DTID_SIM);
    EXPECT_EQ(Contacts(), want);
    ULONG n = 0;
    EXPECT_EQ(table_->GetItemCount(nullptr, 0, DCADT_PHONEBOOK_SIM, &n), S_OK);
    EXPECT_EQ(n, 3u);
  }
  EXPECT_TRUE(SawLine("[CDataTableWMSIM::GetAllEntryID]DevCePhonebookSIMListAll hr=0x0"));
  EXPECT_TRUE(SawLine("[CDataTableWMSIM::GetAllEntryID]DevCePhonebookSIMList hr=0x0"));
  EXPECT_TRUE(SawLine("[CDataTableWMSIM::NextItem]DevCePhonebookSIMGet hr=0x0"));
  EXPECT_TRUE(SawLine("[CDataTableWMSIM::GetSimInformation]DevCePhonebookSIMInfo hr=0x0"));
}

TEST_F(SimE2E, CreateUpdateDeleteUpToAndPastCapacity) {
  Sim().SetCapacity(4);
  SeedContact(2, "Two", "222");
  for (const char16_t* model : {u"Aster W1", u"Hanul HD-100"}) {
    SCOPED_TRACE(wmemu::Utf8(model));
    Open(model, DTID_SIM);
    ASSERT_EQ(table_->ListItemsAllBegin(), S_OK);
    // The lowest free position (1 here, then 3) on every family.
    auto a = NewContact(u"\uD55C\uAC00\uB78C", {u"010-1", u"02-1"}, u"a@example.kr");
    SUID suid = SUID_NULL;
    ASSERT_EQ(table_->CreateItem(a.Get(), &suid), S_OK);
    EXPECT_EQ(suid, IdOf(a.Get()));
    auto b = NewContact(u"Bee", {u"333"});
    ASSERT_EQ(table_->CreateItem(b.Get(), &suid), S_OK);
    EXPECT_EQ(Sim().List().size(), 3u);
    // Too long for the card (15 characters; 14 fit): module error 10024.
    auto longName = NewContact(u"ABCDEFGHIJKLMNO", {u"1"});
    EXPECT_EQ(table_->CreateItem(longName.Get(), nullptr), HRESULT(0x80042728));
    std::string error = TakeErrorText();
    EXPECT_NE(error.find("CDataTableSIM::CreateItem"), std::string::npos) << error;
    EXPECT_NE(error.find("DataTableWMSIM.cpp"), std::string::npos) << error;
    auto fits = NewContact(u"ABCDEFGHIJKLMN", {u"1"});
    ASSERT_EQ(table_->CreateItem(fits.Get(), nullptr), S_OK);
    // The card is full: refused by the table without a call.
    auto more = NewContact(u"More", {u"5"});
    host_.ClearLines();
    EXPECT_EQ(table_->CreateItem(more.Get(), nullptr), HRESULT(0x80042724));
    EXPECT_FALSE(SawLine("[CDataTableWMSIM::CreateItem]DevCePhonebookSIMAdd hr=0x0"));

    // Update in place, then delete.
    Set(b.Get(), u"DISPLAY_NAME", Variant::Str(u"Bee \U0001F41D"));
    ASSERT_EQ(table_->UpdateItem(b.Get()), S_OK);
    auto stored = Sim().Get(uint32_t(IdOf(b.Get())));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->name, "Bee \xF0\x9F\x90\x9D");
    auto contacts = Contacts();
    ASSERT_EQ(contacts.size(), 4u);
    EXPECT_EQ(contacts[0], (std::vector<std::u16string>{
                               u"1", u"\uD55C\uAC00\uB78C", u"010-1", u"02-1", u"a@example.kr"}));
    for (const auto& item : {a, b, fits}) ASSERT_EQ(table_->DeleteItem(item.Get()), S_OK);
    EXPECT_EQ(Sim().List().size(), 1u);
    EXPECT_EQ(table_->DeleteItem(a.Get()), HRESULT(0x80070490));
    EXPECT_NE(TakeErrorText().find("CDataTableSIM::DeleteItem"), std::string::npos);
  }
}

}  // namespace

// ---- MMS ------------------------------------------------------------------------------------

namespace {

class MmsE2E : public MessagingE2E {
 protected:
  void SetUp() override {
    MessagingE2E::SetUp();
    appData_ = phone_->folder() / "appdata";
    std::filesystem::remove_all(appData_);
    setenv("APPDATA", appData_.c_str(), 1);
  }
  static uint32_t SeedMms(uint32_t folder, const std::vector<uint8_t>& body,
                          const std::string& subject) {
    std::vector<Property> props = {Property::String("PR_SUBJECT", subject),
                                   Property::String("PR_SENDER_NAME", "010-5555-0101"),
                                   Property::Date("PR_LAST_MODIFICATION_TIME", At(2008, 8, 14, 6, 12)),
                                   Property::Integer("PR_MESSAGE_SIZE", int32_t(body.size())),
                                   Property::Integer("PR_MSG_STATUS", 1)};
    if (!body.empty()) props.push_back(Property::Binary("PR_MMS_BODY", body));
    std::vector<devrec::RawEntry> raw;
    for (const auto& p : props) raw.push_back({p.name, devrec::LookupType(5, p.name), p.value});
    return wmemu::MessageStore(Emu().image()).Add(5, folder, 0, raw);
  }
  static std::vector<uint8_t> Body(size_t n, uint8_t seed) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 31 + seed);
    return b;
  }
  static std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path appData_;
};

TEST_F(MmsE2E, ListingAndBodyFilesOnDomesticAndInternationalPhones) {
  const std::vector<uint8_t> big = Body(290 * 1024, 1), small = Body(1000, 2);
  uint32_t a = SeedMms(1, big, "panorama"), b = SeedMms(4, small, "sent one");
  SeedMms(2, {}, "no body");
  SeedSms(1, 0, "010-1", "010-2", u"a text message is no MMS", At(2008, 1, 1));
  for (const char16_t* model : {u"Aster W1", u"Hanul HL-300"}) {
    SCOPED_TRACE(wmemu::Utf8(model));
    Open(model, DTID_MMS);
    ULONG n = 9;
    ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_MMS, &n), S_OK);
    EXPECT_EQ(n, 0u) << "counts come with a listing";
    auto items = ListAll();
    ASSERT_EQ(items.size(), 3u);
    ASSERT_EQ(table_->GetItemCount(nullptr, 0, DCADT_MMS, &n), S_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(IdOf(items[0].Get()), SUID(a));
    EXPECT_EQ(Text(items[0].Get(), u"FOLDER"), u"Inbox");
    EXPECT_EQ(Text(items[1].Get(), u"FOLDER"), u"Draft");
    EXPECT_EQ(Text(items[2].Get(), u"FOLDER"), u"Sent");
    EXPECT_EQ(IdOf(items[2].Get()), SUID(b));
    EXPECT_EQ(Text(items[0].Get(), u"SUBJECT"), u"panorama");
    EXPECT_EQ(Text(items[0].Get(), u"SENDER"), u"010-5555-0101");
    EXPECT_EQ(Get(items[0].Get(), u"TOTAL_SIZE").Get().ulVal, big.size());
    EXPECT_EQ(Get(items[0].Get(), u"CREATE_DATE").Get().date, At(2008, 8, 14, 15, 12));
    EXPECT_EQ(Get(items[2].Get(), u"MESSAGE_ID").Get().ulVal, 2u);

    // The body file equals the stored body byte for byte; two reads, two files.
    ASSERT_EQ(table_->ReadItem(items[0].Get()), S_OK);
    std::u16string first = Text(items[0].Get(), u"ATTACHMENT_FILE_PATH");
    EXPECT_EQ(FileBytes(wmemu::Utf8(first)), big);
    EXPECT_EQ(wmemu::Utf8(first).rfind((appData_ / "Tolvane/Orvanta/MMS/").string(), 0), 0u);
    EXPECT_EQ(first.substr(first.size() - 4), u".mms");
    ASSERT_EQ(table_->ReadItem(items[0].Get()), S_OK);
    EXPECT_NE(Text(items[0].Get(), u"ATTACHMENT_FILE_PATH"), first);
    ASSERT_EQ(table_->ReadItem(items[2].Get()), S_OK);
    EXPECT_EQ(FileBytes(wmemu::Utf8(Text(items[2].Get(), u"ATTACHMENT_FILE_PATH"))), small);
    // No body: no file, the column untouched.
    EXPECT_EQ(table_->ReadItem(items[1].Get()), S_FALSE);
    EXPECT_EQ(Get(items[1].Get(), u"ATTACHMENT_FILE_PATH").vt(), VT_EMPTY);
    // Deleting leaves the message on the phone.
    EXPECT_EQ(table_->DeleteItem(items[0].Get()), S_OK);
    EXPECT_TRUE(wmemu::MessageStore(Emu().image()).Get(a));
  }
  std::filesystem::remove_all(appData_);
  Open(u"Hanul HD-100", DTID_MMS);
  EXPECT_TRUE(ListAll().empty());
}

TEST_F(MmsE2E, SavingAndSendingFromABodyFile) {
  Open(u"Aster W1", DTID_MMS);
  std::filesystem::create_directories(appData_);
  const std::string path = (appData_ / "out.mms").string();
  const std::vector<uint8_t> body = Body(5000, 3);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(body.data()), 5000);
  ComPtr<IItem> item;
  ASSERT_EQ(table_->NewItem(DCADT_MMS, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()), S_OK);
  Set(item.Get(), u"ATTACHMENT_FILE_PATH", Variant::Str(wmemu::Utf16(path)));
  Set(item.Get(), u"SUBJECT", Variant::Str(u"\uC0AC\uC9C4 \U0001F4F7"));
  Set(item.Get(), u"RECEIVER", Variant::Str(u"010-5555-0102"));
  Set(item.Get(), u"FOLDER", Variant::Str(u"my Inbox"));
  ASSERT_EQ(table_->CreateItem(item.Get(), nullptr), S_OK);
  wmemu::MessageStore store(Emu().image());
  auto inbox = store.List(5, 1);
  ASSERT_EQ(inbox.size(), 1u);
  auto find = [](const wmemu::StoredMessage& m, const char* name) {
    for (const auto& p : m.props)
      if (p.name == name) return p.value;
    return std::vector<uint8_t>{};
  };
  EXPECT_EQ(find(inbox[0], "PR_MMS_BODY"), body);
  EXPECT_EQ(find(inbox[0], "PR_MESSAGE_SIZE"), (std::vector<uint8_t>{0x88, 0x13, 0, 0}));

  BStr send(u"send");
  ASSERT_EQ(table_->Execute(send.Get(), item.Get(), nullptr), S_OK);
  ASSERT_EQ(store.List(5, 4).size(), 1u);
  EXPECT_EQ(find(store.List(5, 4)[0], "PR_MMS_BODY"), body);

  // A missing file: module error 10, nothing sent.
  Set(item.Get(), u"ATTACHMENT_FILE_PATH", Variant::Str(wmemu::Utf16(path + ".gone")));
  EXPECT_EQ(table_->Execute(send.Get(), item.Get(), nullptr), HRESULT(0x8004000A));
  EXPECT_NE(TakeErrorText().find("CDataTableWMMMS::Execute"), std::string::npos);
  // A phone that refuses: module error 40516.
  Set(item.Get(), u"ATTACHMENT_FILE_PATH", Variant::Str(wmemu::Utf16(path)));
  Set(item.Get(), u"RECEIVER", Variant::Str(u""));
  EXPECT_EQ(table_->Execute(send.Get(), item.Get(), nullptr), HRESULT(0x80049E44));
  EXPECT_EQ(store.List(5, 4).size(), 1u);
  BStr end(u"EndSync");
  EXPECT_EQ(table_->Execute(end.Get(), nullptr, nullptr), S_OK);
}

}  // namespace
